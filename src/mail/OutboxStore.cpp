#include "OutboxStore.h"

#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QUuid>

#include <algorithm>
#include <cmath>

#include <fcntl.h>
#include <unistd.h>

namespace mail {

namespace {
const QString kFormat = QStringLiteral("brevilo-outbox");
const QString kSuffix = QStringLiteral(".json");
// A record file is small; anything much larger is not ours, and is not read whole into memory.
constexpr qint64 kMaxFileBytes = 16 * 1024 * 1024;

// The rename is durable only once the folder that holds the new name is on disk too.
void SyncDirectory(const QString& directory)
{
    const int fd = ::open(QFile::encodeName(directory).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return;
    ::fsync(fd);
    ::close(fd);
}

bool IsUidFileName(const QString& name)
{
    if (!name.endsWith(kSuffix))
        return false;
    return !QUuid::fromString(QStringView(name).chopped(kSuffix.size())).isNull();
}
} // namespace

OutboxStore::OutboxStore(QString directory) : m_directory(std::move(directory)) {}

QString OutboxStore::DamagedDirectory() const
{
    return m_directory + QStringLiteral("/damaged");
}

QString OutboxStore::PathFor(const QString& uid) const
{
    return m_directory + QLatin1Char('/') + uid + kSuffix;
}

QByteArray OutboxStore::Serialize(const CMessaggio& record)
{
    QJsonObject o;
    o.insert(QStringLiteral("format"), kFormat);
    o.insert(QStringLiteral("version"), kVersion);
    o.insert(QStringLiteral("uid"), record.mailUid);
    o.insert(QStringLiteral("sequence"), static_cast<double>(record.mailSequence));
    o.insert(QStringLiteral("created"), record.mailTimeCreated);
    o.insert(QStringLiteral("toNick"), record.mailToNick);
    o.insert(QStringLiteral("to"), record.mailTo);
    o.insert(QStringLiteral("subject"), record.mailSubject);
    o.insert(QStringLiteral("text"), record.mailText);
    o.insert(QStringLiteral("from"), record.mailFrom);
    o.insert(QStringLiteral("fromName"), record.mailFromName);
    o.insert(QStringLiteral("separator"), record.mailSeparator);
    o.insert(QStringLiteral("attempts"), record.mailAttempts);
    o.insert(QStringLiteral("nextAttempt"), record.mailNextAttempt);
    o.insert(QStringLiteral("lastReason"), record.mailLastReason);
    o.insert(QStringLiteral("held"), record.mailHeld);
    o.insert(QStringLiteral("retryFrom"), record.mailRetryFrom);
    return QJsonDocument(o).toJson(QJsonDocument::Indented);
}

std::shared_ptr<CMessaggio> OutboxStore::Parse(const QByteArray& bytes)
{
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return nullptr;
    const QJsonObject o = document.object();
    // Version 1 had no held messages and no "retryFrom": their defaults read it.
    const int version = o.value(QStringLiteral("version")).toInt(-1);
    if (o.value(QStringLiteral("format")).toString() != kFormat || version < 1 || version > kVersion)
        return nullptr;

    // Every field must have its own type; a missing optional one takes its default.
    bool good = true;
    auto text = [&](const char* key, bool required) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isString())
            return v.toString();
        if (required || !v.isUndefined())
            good = false;
        return QString();
    };
    auto number = [&](const char* key, bool required) {
        const QJsonValue v = o.value(QLatin1String(key));
        if (v.isDouble() && std::isfinite(v.toDouble()))
            return v.toDouble();
        if (required || !v.isUndefined())
            good = false;
        return 0.0;
    };

    auto record = std::make_shared<CMessaggio>();
    record->mailUid = text("uid", true);
    record->mailTimeCreated = number("created", true);
    record->mailTo = text("to", true);
    record->mailToNick = text("toNick", false);
    record->mailSubject = text("subject", false);
    record->mailText = text("text", false);
    record->mailFrom = text("from", false);
    record->mailFromName = text("fromName", false);
    record->mailSeparator = text("separator", false);
    record->mailLastReason = text("lastReason", false);
    record->mailNextAttempt = number("nextAttempt", false);
    record->mailRetryFrom = number("retryFrom", false);
    const QJsonValue held = o.value(QStringLiteral("held"));
    if (held.isBool())
        record->mailHeld = held.toBool();
    else if (!held.isUndefined())
        good = false;
    const double sequence = number("sequence", false);
    const double attempts = number("attempts", false);
    // Dates from the year 1900 to 9999, as the clock makes them; counts that fit their types.
    auto isDate = [](double days) { return days >= 0 && days < 2958466; };
    if (!good || QUuid::fromString(record->mailUid).isNull() || sequence < 0 || sequence > 9e15 || attempts < 0
        || attempts > 1e6 || !isDate(record->mailTimeCreated) || !isDate(record->mailNextAttempt) || !isDate(record->mailRetryFrom))
        return nullptr;
    record->mailSequence = static_cast<qint64>(sequence);
    record->mailAttempts = static_cast<qint32>(attempts);
    return record;
}

OutboxStore::Loaded OutboxStore::Load()
{
    Loaded loaded;
    if (m_directory.isEmpty())
        return loaded;
    const QDir directory(m_directory);
    const QStringList names = directory.entryList(QDir::Files | QDir::Hidden, QDir::NoSort);
    loaded.records.reserve(names.size());
    for (const QString& name : names) {
        if (!name.endsWith(kSuffix)) {
            // The named temporary file of a write cut short (where the file system has no
            // unnamed ones): the record it was replacing is still whole under its own name,
            // and no other copy of the program writes here.
            const qsizetype at = name.lastIndexOf(kSuffix + QLatin1Char('.'));
            if (at > 0 && IsUidFileName(name.left(at + kSuffix.size())))
                QFile::remove(directory.filePath(name));
            continue;
        }
        const QString path = directory.filePath(name);
        std::shared_ptr<CMessaggio> record;
        QFile file(path);
        if (IsUidFileName(name) && file.open(QIODevice::ReadOnly | QIODevice::Unbuffered) && file.size() <= kMaxFileBytes) {
            record = Parse(file.readAll());
            // The name is how the record is found again to be rewritten and removed.
            if (record && record->mailUid + kSuffix != name)
                record.reset();
        }
        file.close();
        if (record) {
            loaded.records.push_back(std::move(record));
            continue;
        }
        platform::MakePrivateFolder(DamagedDirectory());
        QString target = DamagedDirectory() + QLatin1Char('/') + name;
        for (int n = 1; QFile::exists(target); ++n)
            target = DamagedDirectory() + QLatin1Char('/') + name + QLatin1Char('.') + QString::number(n);
        QFile::rename(path, target);
        loaded.damaged.append(name);
    }
    loaded.damaged.sort();
    std::stable_sort(loaded.records.begin(), loaded.records.end(), [](const auto& a, const auto& b) {
        if (a->mailTimeCreated != b->mailTimeCreated)
            return a->mailTimeCreated < b->mailTimeCreated;
        return a->mailSequence < b->mailSequence;
    });
    return loaded;
}

bool OutboxStore::Write(const CMessaggio& record, QString* error)
{
    if (m_directory.isEmpty())
        return true;
    if (!m_directoryMade) {
        if (!platform::MakePrivateFolder(m_directory)) {
            if (error)
                *error = QStringLiteral("impossibile creare %1").arg(QDir::toNativeSeparators(m_directory));
            return false;
        }
        m_directoryMade = true;
    }
    QSaveFile file(PathFor(record.mailUid));
    // commit() syncs the temporary file to disk before it renames it over the old one.
    // A rewritten record would keep the mode of the one it replaces: set it on every write.
    const bool opened = file.open(QIODevice::WriteOnly);
    if (opened)
        platform::MakePrivate(file);
    if (!opened || file.write(Serialize(record)) < 0 || !file.commit()) {
        if (error)
            *error = file.errorString();
        return false;
    }
    SyncDirectory(m_directory);
    return true;
}

void OutboxStore::Remove(const QString& uid)
{
    if (m_directory.isEmpty() || uid.isEmpty())
        return;
    QFile::remove(PathFor(uid));
}

} // namespace mail
