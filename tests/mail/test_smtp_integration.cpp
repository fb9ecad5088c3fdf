#include "Fakes.h"
#include "LocalSmtpServer.h"
#include "app/modMain.h"
#include "mail/Dispatcher.h"
#include "platform/QtTcpSocket.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

using namespace mail;

namespace {
QByteArray ReadFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Word(const QString& text)
{
    return "=?UTF-8?B?" + text.toUtf8().toBase64() + "?=";
}
} // namespace

// The real dispatcher, session and socket deliver to a real SMTP server on loopback.
class TestSmtpIntegration : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deliversToARealServer()
    {
        QTemporaryDir received;
        QTemporaryDir data;
        testsupport::LocalSmtpServer server;
        QVERIFY2(server.Start(received.path()), qPrintable(server.Output()));

        testsupport::FakeClock clock;
        platform::QtTcpSocket ws;
        platform::QtTimer replyTimer;
        app::ModMain settings;
        settings.SMTP = server.Setting();
        settings.From = QStringLiteral("me@example.org");
        settings.TempoAttesa = 30;
        MemoryStatusList lstLog;
        Outbox outbox(lstLog);
        SendLog sendLog(data.path(), clock);
        SmtpSession session(ws, replyTimer, settings, outbox, sendLog, SmtpSession::Timeouts{});
        Dispatcher dispatcher(outbox, session, settings, clock);

        auto queue = [&](const QString& nick, const QString& to, const QString& name, const QString& subject,
                         const QString& text) {
            auto record = std::make_shared<CMessaggio>();
            record->mailToNick = nick;
            record->mailTo = to;
            record->mailSubject = subject;
            record->mailText = text;
            record->mailFrom = settings.From;
            record->mailFromName = name;
            record->mailTimeCreated = clock.Now();
            outbox.Enqueue(record, kComposerSeparator);
            return record;
        };
        auto plain = queue("Ann", "ann@example.org", "Mario Rossi", "Saluti",
                           "prima riga\n.riga col punto\n.\nultima");
        auto accented = queue("Bea", "bea@example.org", QString::fromUtf8("Niccolò"), QString::fromUtf8("Perché sì"),
                              QString::fromUtf8("Città: è già così.\r\nCiao"));
        auto malformed = queue("", "nobody@refused.test", "Mario Rossi", "x", "y");

        dispatcher.Timer1_Timer();
        QCOMPARE(session.SendState(), 0); // not yet due
        clock.AdvanceSeconds(31);
        for (int i = 0; i < 3; ++i) {
            dispatcher.Timer1_Timer();
            QCOMPARE(session.SendState(), 1);
            QTRY_COMPARE_WITH_TIMEOUT(session.SendState(), 0, 30000);
        }
        QCOMPARE(outbox.mailQueue().Count(), 0);

        // Two messages reached the server, byte for byte, dot-stuffing undone by the server.
        QCOMPARE(QDir(received.path()).entryList({"*.eml"}, QDir::Files, QDir::Name),
                 QStringList({"0001.eml", "0002.eml"}));
        QCOMPARE(ReadFile(received.filePath("0001.eml")),
                 QByteArray("Subject:Saluti\r\nFrom:Mario Rossi <me@example.org>\r\nTo:ann@example.org\r\n\r\n"
                            "prima riga\r\n.riga col punto\r\n.\r\nultima\r\n"));
        QCOMPARE(ReadFile(received.filePath("0002.eml")),
                 "Subject:" + Word(QString::fromUtf8("Perché sì")) + "\r\nFrom:" + Word(QString::fromUtf8("Niccolò"))
                     + " <me@example.org>\r\nTo:bea@example.org\r\nMIME-Version: 1.0\r\n"
                       "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n\r\n"
                     + QString::fromUtf8("Città: è già così.\r\nCiao\r\n").toUtf8());
        const QStringList recipients = {"ann@example.org", "bea@example.org"};
        for (int i = 0; i < 2; ++i) {
            const QJsonObject envelope =
                QJsonDocument::fromJson(ReadFile(received.filePath(QStringLiteral("%1.json").arg(i + 1, 4, 10, QChar('0')))))
                    .object();
            QCOMPARE(envelope.value("mail_from").toString(), QStringLiteral("me@example.org"));
            QCOMPARE(envelope.value("rcpt_tos").toArray(), QJsonArray({recipients[i]}));
        }

        // OK lines over the queued lines; the refused recipient keeps its queued line and
        // gets the server's reply below.
        QCOMPARE(lstLog.LineCount(), 4);
        QCOMPARE(lstLog.Line(0), Outbox::OkLine(*plain));
        QCOMPARE(lstLog.Line(1), Outbox::OkLine(*accented));
        QCOMPARE(lstLog.Line(2), Outbox::QueuedLine(*malformed, kComposerSeparator));
        QCOMPARE(lstLog.Line(3), QStringLiteral("550 5.1.1 <nobody@refused.test>: mailbox unavailable\r\n"));

        // One log entry per delivered message, in UTF-8, nothing for the refused one.
        QCOMPARE(ReadFile(sendLog.Path()), (sendLog.Entry(*plain) + sendLog.Entry(*accented)).toUtf8());
    }
};

QTEST_GUILESS_MAIN(TestSmtpIntegration)
#include "test_smtp_integration.moc"
