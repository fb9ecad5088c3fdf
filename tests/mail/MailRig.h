#pragma once

#include "Fakes.h"
#include "settings/modMain.h"
#include "mail/Dispatcher.h"
#include "mail/Passwords.h"

#include <QDir>
#include <QFile>
#include <QTest>
#include <QTemporaryDir>

inline QByteArray ReadFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The dispatcher and a session over the given socket and timer, with a status list and a send
// log in a temporary directory. Records come from io@example.it to Anna. With kDurable the outbox
// keeps its records in dir/outbox and retries temporary failures (delays of 1, 2, 4... minutes).
template <typename Socket, typename Timer, bool kDurable = false>
struct MailRig {
    Socket ws;
    Timer timer;
    settings::ModMain settings;
    mail::MemoryStatusList lstLog;
    testsupport::FakeClock clock;
    QTemporaryDir dir;
    mail::OutboxStore store{kDurable ? dir.filePath("outbox") : QString()};
    mail::Outbox outbox = kDurable ? mail::Outbox(lstLog, clock, settings, &store) : mail::Outbox(lstLog);
    mail::SendLog sendLog{dir.path(), clock};
    testsupport::FakeSecretStore secrets;
    testsupport::FakeDialogs dialogs;
    mail::Passwords passwords{secrets, dialogs};
    mail::SmtpSession session{ws, timer, settings, outbox, sendLog, {}, passwords, dialogs}; // 2 and 10 minutes
    mail::Dispatcher dispatcher{outbox, session, settings, clock};

    MailRig() { settings.SMTP = QStringLiteral("smtp.example.it"); }
    // Queued a second ago, so the next tick sends it (TempoAttesa starts at 0).
    std::shared_ptr<mail::CMessaggio> Queue(const QString& subject = "s", const QString& text = "t",
                                            const QString& nick = "Anna", const QString& to = {})
    {
        auto record = Record(nick, clock.Now() - 1 / platform::kSecondsPerDay, subject, text, to);
        outbox.Enqueue(record, mail::kComposerSeparator);
        return record;
    }
    // A record made at `created`, to nick@example.it unless `to` says otherwise.
    static std::shared_ptr<mail::CMessaggio> Record(const QString& nick, double created, const QString& subject = "s",
                                                    const QString& text = "t", const QString& to = {})
    {
        auto record = std::make_shared<mail::CMessaggio>();
        record->mailToNick = nick;
        record->mailTo = to.isEmpty() ? nick.toLower() + QStringLiteral("@example.it") : to;
        record->mailSubject = subject;
        record->mailText = text;
        record->mailFrom = QStringLiteral("io@example.it");
        record->mailFromName = QStringLiteral("Io");
        record->mailTimeCreated = created;
        return record;
    }
    // The record files in the outbox folder, by name.
    QStringList OutboxFiles() const { return QDir(store.Directory()).entryList({"*.json"}, QDir::Files, QDir::Name); }
    // A dispatcher tick, and the session it started run to its end.
    bool SendNext(int timeoutMs = 30000)
    {
        dispatcher.Timer1_Timer();
        return QTest::qWaitFor([this] { return session.SendState() == 0; }, timeoutMs);
    }
};
