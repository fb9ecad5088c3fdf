// The SMTP session over a real socket against a scripted server on 127.0.0.1: what a real
// server will not do on request (refuse, fail, split replies, close, fall silent).
#include "Fakes.h"
#include "ScriptedSmtpServer.h"
#include "app/modMain.h"
#include "mail/Outbox.h"
#include "mail/SendLog.h"
#include "mail/SmtpSession.h"
#include "platform/QtTcpSocket.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace mail;
using testsupport::ScriptedSmtpServer;

namespace {

// Long enough never to fire by accident on a slow machine.
const SmtpSession::Timeouts kPatient{30000, 30000};
const SmtpSession::Timeouts kImpatient{300, 300};

struct Rig {
    ScriptedSmtpServer server;
    platform::QtTcpSocket ws;
    platform::QtTimer timer;
    app::ModMain settings;
    MemoryStatusList lstLog;
    Outbox outbox{lstLog};
    testsupport::FakeClock clock;
    QTemporaryDir dir;
    SendLog sendLog{dir.path(), clock};
    SmtpSession session{ws, timer, settings, outbox, sendLog, kPatient};

    Rig()
    {
        server.Listen();
        settings.SMTP = server.Address();
    }
    std::shared_ptr<CMessaggio> Queue(const QString& text)
    {
        auto record = std::make_shared<CMessaggio>();
        record->mailToNick = QStringLiteral("Anna");
        record->mailTo = QStringLiteral("anna@example.it");
        record->mailSubject = QStringLiteral("Prova");
        record->mailText = text;
        record->mailFrom = QStringLiteral("io@example.it");
        record->mailFromName = QStringLiteral("Io");
        outbox.Enqueue(record, kComposerSeparator);
        outbox.mailQueue().Remove(0);
        return record;
    }
    // Runs one session to its end, events running, without polling.
    bool Send(const QString& text)
    {
        QSignalSpy steps(&session, &SmtpSession::lblDoingChanged);
        session.StartSending(Queue(text));
        while (session.SendState() != 0) {
            if (!steps.wait(60000))
                return false;
        }
        return true;
    }
    int LogEntries() const
    {
        QFile file(sendLog.Path());
        return file.open(QIODevice::ReadOnly) ? int(file.readAll().count("\r\n")) : 0;
    }
    bool HasOkLine() const { return lstLog.Lines().join(QLatin1Char('\n')).contains(QLatin1String("OK - ")); }
};

const QStringList kSteps = {"greeting", "HELO", "MAIL FROM", "RCPT TO", "DATA", "final dot"};

} // namespace

class TestSmtpSessionScripted : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void delivers_data()
    {
        QTest::addColumn<bool>("byteByByte");
        QTest::addColumn<bool>("multiLine");
        QTest::newRow("replies in one piece") << false << false;
        QTest::newRow("replies split byte by byte") << true << false;
        QTest::newRow("multi-line replies") << false << true;
        QTest::newRow("multi-line replies byte by byte") << true << true;
    }
    void delivers()
    {
        QFETCH(bool, byteByByte);
        QFETCH(bool, multiLine);
        Rig rig;
        QList<QByteArray> replies = ScriptedSmtpServer::GoodReplies();
        if (multiLine) {
            replies[0] = "220-scripted\r\n220-second line\r\n220 ready\r\n";
            replies[1] = "250-hello\r\n250-8BITMIME\r\n250 SIZE 1000\r\n";
            replies[5] = "250-queued\r\n250 as 1\r\n";
        }
        rig.server.SetScript(ScriptedSmtpServer::Dialogue(replies, byteByByte));
        QVERIFY(rig.Send(QStringLiteral("città\n.\nfine")));
        QVERIFY(rig.server.WaitForClientClosed());

        QCOMPARE(rig.server.mismatches, QStringList());
        // QUIT reached the server before the connection closed.
        QCOMPARE(rig.server.received.last(), QStringLiteral("QUIT"));
        QCOMPARE(rig.server.received.mid(0, 4),
                 (QStringList{"HELO ME", "MAIL FROM:<io@example.it>", "RCPT TO:<anna@example.it>", "DATA"}));
        QCOMPARE(rig.server.message, "Subject:Prova\r\nFrom:Io <io@example.it>\r\nTo:anna@example.it\r\n"
                                     "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                                     "Content-Transfer-Encoding: 8bit\r\n\r\n"
                                         + QStringLiteral("città").toUtf8() + "\r\n..\r\nfine\r\n");
        QCOMPARE(rig.lstLog.Lines(), QStringList{QStringLiteral("OK - Anna anna@example.it - Prova: città\n.\nfine")});
        QCOMPARE(rig.LogEntries(), 1);
    }

    void failsWithoutFalseOk_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<int>("step");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("expected"); // the refusal line, or what the ERR line holds
        for (int step = 0; step < kSteps.size(); ++step) {
            const QString name = kSteps.at(step);
            const QByteArray temp = "451 try later (" + name.toUtf8() + ")\r\n";
            const QByteArray perm = "554 refused (" + name.toUtf8() + ")\r\n";
            QTest::addRow("4xx at %s", qPrintable(name)) << "reply" << step << temp << QString::fromUtf8(temp);
            QTest::addRow("5xx at %s", qPrintable(name)) << "reply" << step << perm << QString::fromUtf8(perm);
            QTest::addRow("close at %s", qPrintable(name))
                << "close" << step << QByteArray() << (step == 5 ? "may have been delivered" : "ERR - ");
        }
        const QByteArray multi = "554-not here\r\n554-nor there\r\n554 goodbye\r\n";
        QTest::newRow("refused multi-line greeting") << "reply" << 0 << multi << QString::fromUtf8(multi);
        QTest::newRow("non-numeric reply") << "reply" << 2 << QByteArray("what?\r\n") << "what?\r\n";
        QTest::newRow("code without blank") << "reply" << 1 << QByteArray("250ok\r\n") << "250ok\r\n";
        // Each step asks for its own class of reply: 354 only to DATA, 2xx everywhere else.
        QTest::newRow("DATA answered 250") << "reply" << 4 << QByteArray("250 odd\r\n") << "250 odd\r\n";
        QTest::newRow("final dot answered 354") << "reply" << 5 << QByteArray("354 odd\r\n") << "354 odd\r\n";
        const QByteArray busy = "421 too busy, closing\r\n";
        QTest::newRow("4xx greeting and close at once") << "reply, close" << 0 << busy << QString::fromUtf8(busy);
        QTest::newRow("silence at greeting") << "silent" << 0 << QByteArray() << "No reply from the server";
        QTest::newRow("silence after RCPT TO") << "silent" << 3 << QByteArray() << "No reply from the server";
        QTest::newRow("silence after final dot") << "silent" << 5 << QByteArray() << "may have been delivered";
        QTest::newRow("connection refused") << "refused" << 0 << QByteArray() << "ERR - Connection refused";
        QTest::newRow("unknown host") << "unknown" << 0 << QByteArray() << "ERR - Host not found";
    }
    void failsWithoutFalseOk()
    {
        QFETCH(QString, how);
        QFETCH(int, step);
        QFETCH(QByteArray, reply);
        QFETCH(QString, expected);
        Rig rig;
        if (how == "reply")
            rig.server.SetScript(ScriptedSmtpServer::FailAt(step, reply));
        else if (how == "reply, close")
            rig.server.SetScript({ScriptedSmtpServer::Send(reply), ScriptedSmtpServer::Close()});
        else if (how == "close")
            rig.server.SetScript(ScriptedSmtpServer::CloseAt(step));
        else if (how == "silent")
            rig.server.SetScript(ScriptedSmtpServer::SilentAt(step));
        if (how == "silent")
            rig.session.SetTimeouts(kImpatient);
        if (how == "refused") {
            // A port that was just listening and is now closed: nobody answers there.
            ScriptedSmtpServer gone;
            QVERIFY(gone.Listen());
            rig.settings.SMTP = gone.Address();
        }
        if (how == "unknown") {
            // A name with blanks fails Qt's host-name check before any resolver is asked, so
            // this case sends no query off the machine (a made-up domain would reach DNS).
            rig.settings.SMTP = QStringLiteral("no such host");
        }

        QVERIFY(rig.Send(QStringLiteral("testo")));
        const QString queued = QStringLiteral("QUEUED - Anna anna@example.it - Prova testo");
        QVERIFY(!rig.HasOkLine());
        QCOMPARE(rig.LogEntries(), 0);
        QCOMPARE(rig.lstLog.LineCount(), 2);
        if (how == "reply") {
            QCOMPARE(rig.lstLog.Lines(), (QStringList{queued, expected}));
            QVERIFY(rig.server.WaitForClientClosed());
            QCOMPARE(rig.server.received.last(), QStringLiteral("QUIT"));
            QCOMPARE(rig.server.mismatches, QStringList());
        } else if (how == "reply, close") {
            QCOMPARE(rig.lstLog.Lines(), (QStringList{queued, expected}));
        } else {
            QCOMPARE(rig.lstLog.Line(1), queued);
            QVERIFY2(rig.lstLog.Line(0).startsWith("ERR - ") && rig.lstLog.Line(0).contains(expected),
                     qPrintable(rig.lstLog.Line(0)));
        }

        // A late event from the ended session adds nothing; the next message goes out.
        QTest::qWait(20);
        QCOMPARE(rig.lstLog.LineCount(), 2);
        rig.session.SetTimeouts(kPatient);
        rig.settings.SMTP = rig.server.Address();
        rig.server.SetScript(ScriptedSmtpServer::Dialogue());
        QVERIFY(rig.Send(QStringLiteral("di nuovo")));
        QCOMPARE(rig.lstLog.Line(2), QStringLiteral("OK - Anna anna@example.it - Prova: di nuovo"));
        QCOMPARE(rig.LogEntries(), 1);
        QVERIFY(rig.server.WaitForClientClosed());
        QCOMPARE(rig.server.received.last(), QStringLiteral("QUIT"));
    }
};

QTEST_GUILESS_MAIN(TestSmtpSessionScripted)
#include "test_smtpsession_scripted.moc"
