#pragma once

#include "CMessaggio.h"

#include <QString>
#include <QStringList>

#include <memory>
#include <vector>

namespace mail {

// The outbox folder: one file per waiting record, so that a crash, a kill or a power cut
// loses no queued message. Files are written whole (temporary file, sync, rename) and the
// folder is synced after, before the record counts as queued.
//
// File: <mailUid>.json, a JSON object {"format": "brevilo-outbox", "version": 2, ...}; the
// README lists the fields. Version 1 files (no "held", no "retryFrom") are read too. A file
// that cannot be read is moved to damaged/ beside them.
class OutboxStore {
public:
    static constexpr int kVersion = 2;

    // An empty directory keeps nothing: the queue lives in memory only.
    explicit OutboxStore(QString directory);

    QString Directory() const { return m_directory; }
    QString DamagedDirectory() const;
    QString PathFor(const QString& uid) const;

    struct Loaded {
        std::vector<std::shared_ptr<CMessaggio>> records; // in creation order
        QStringList damaged;                              // file names moved to damaged/
    };
    // Reads every record file; unreadable ones are moved aside (or left, if even that fails).
    Loaded Load();

    // Writes the record durably; false when the folder cannot take it (the reason in *error).
    bool Write(const CMessaggio& record, QString* error = nullptr);
    void Remove(const QString& uid);

    static QByteArray Serialize(const CMessaggio& record);
    // Null when the bytes are no record of a version this program reads.
    static std::shared_ptr<CMessaggio> Parse(const QByteArray& bytes);

private:
    QString m_directory;
    bool m_directoryMade = false;
};

} // namespace mail
