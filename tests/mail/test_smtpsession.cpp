// The SMTP dialogue over a fake socket and a fake timer: every byte the client sends, every
// status line and every log entry, step by step.
#include "Fakes.h"
#include "FakeTcpSocket.h"
#include "app/modMain.h"
#include "mail/Outbox.h"
#include "mail/SendLog.h"
#include "mail/SmtpSession.h"

#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace mail;
using testsupport::FakeTcpSocket;
using testsupport::FakeTimer;

namespace {

constexpr int kReplyMs = 120000;
constexpr int kFinalMs = 600000;

struct Rig {
    FakeTcpSocket ws;
    FakeTimer timer;
    app::ModMain settings;
    MemoryStatusList lstLog;
    Outbox outbox{lstLog};
    testsupport::FakeClock clock;
    QTemporaryDir dir;
    SendLog sendLog{dir.path(), clock};
    SmtpSession session{ws, timer, settings, outbox, sendLog, {kReplyMs, kFinalMs}};

    Rig() { settings.SMTP = QStringLiteral("smtp.example.it"); }

    std::shared_ptr<CMessaggio> Queue(const QString& subject = QStringLiteral("Ciao"),
                                      const QString& text = QStringLiteral("a domani"))
    {
        auto record = std::make_shared<CMessaggio>();
        record->mailToNick = QStringLiteral("Anna");
        record->mailTo = QStringLiteral("anna@example.it");
        record->mailSubject = subject;
        record->mailText = text;
        record->mailFrom = QStringLiteral("io@example.it");
        record->mailFromName = QStringLiteral("Io");
        outbox.Enqueue(record, kComposerSeparator);
        outbox.mailQueue().Remove(0); // as the dispatcher does
        return record;
    }
    // Starts a session and answers up to the reply to DATA; returns what came after it.
    QByteArray RunToMessage(const std::shared_ptr<CMessaggio>& record)
    {
        session.StartSending(record);
        for (const char* reply : {"220 hi\r\n", "250 a\r\n", "250 b\r\n", "250 c\r\n"})
            ws.Reply(reply);
        ws.TakeWritten();
        ws.Reply("354 go\r\n");
        return ws.TakeWritten();
    }
    QByteArray LogText() const
    {
        QFile file(sendLog.Path());
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    bool HasOkLine() const { return lstLog.Lines().join(QLatin1Char('\n')).contains(QLatin1String("OK - ")); }
};

} // namespace

class TestSmtpSession : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dialogue()
    {
        Rig rig;
        QSignalSpy captions(&rig.session, &SmtpSession::lblDoingChanged);
        const auto record = rig.Queue();
        rig.session.StartSending(record);
        QCOMPARE(rig.ws.connectedHost, QStringLiteral("smtp.example.it"));
        QCOMPARE(rig.ws.connectedPort, quint16(25));
        QCOMPARE(rig.session.SendState(), 1);
        QCOMPARE(rig.timer.Interval(), kReplyMs);

        const QList<QPair<QByteArray, QByteArray>> steps = {
            {"220 hi\r\n", "HELO ME\r\n"},
            {"250 hello\r\n", "MAIL FROM:<io@example.it>\r\n"},
            {"250 ok\r\n", "RCPT TO:<anna@example.it>\r\n"},
            {"250 ok\r\n", "DATA\r\n"},
            {"354 go\r\n", "Subject:Ciao\r\nFrom:Io <io@example.it>\r\nTo:anna@example.it\r\n\r\na domani\r\n.\r\n"},
        };
        for (const auto& [reply, sent] : steps) {
            rig.ws.Reply(reply);
            QCOMPARE(rig.ws.TakeWritten(), sent);
        }
        QCOMPARE(rig.session.SendState(), 9);
        QCOMPARE(rig.timer.Interval(), kFinalMs);
        QVERIFY(rig.LogText().isEmpty());

        rig.ws.Reply("250 queued\r\n");
        QCOMPARE(rig.ws.TakeWritten(), QByteArray("QUIT\r\n"));
        QCOMPARE(rig.ws.closes, 1);
        QCOMPARE(rig.session.SendState(), 0);
        QVERIFY(!rig.timer.IsActive());
        QCOMPARE(rig.lstLog.Lines(), QStringList{QStringLiteral("OK - Anna anna@example.it - Ciao: a domani")});
        QVERIFY(rig.LogText().endsWith(" anna@example.it Anna - Ciao - a domani\r\n"));

        QStringList shown;
        for (const auto& args : captions)
            shown.append(args.at(0).toString());
        QCOMPARE(shown, (QStringList{"[1] Sending to Anna", "[2] Sending to Anna", "[3] Sending to Anna",
                                     "[4] Sending to Anna", "[5] Sending to Anna", "[9] Sending to Anna", ""}));
    }

    void messageOnTheWire_data()
    {
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray ascii = "From:Io <io@example.it>\r\nTo:anna@example.it\r\n";
        const QByteArray mime = "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                                "Content-Transfer-Encoding: 8bit\r\n";
        QTest::newRow("empty subject and name") << "" << "" << "x"
                                                << QByteArray("Subject:\r\nFrom: <io@example.it>\r\nTo:anna@example.it\r\n\r\nx\r\n.\r\n");
        QTest::newRow("LF, CR and CR LF in the text") << "s" << "Io" << "a\nb\rc\r\nd"
                                                      << "Subject:s\r\n" + ascii + "\r\na\r\nb\r\nc\r\nd\r\n.\r\n";
        QTest::newRow("leading dot") << "s" << "Io" << ".\n..x\n. y"
                                     << "Subject:s\r\n" + ascii + "\r\n..\r\n...x\r\n.. y\r\n.\r\n";
        QTest::newRow("line breaks in subject and name") << "a\r\nBcc: x@y" << "I\no\rx" << "t"
            << QByteArray("Subject:a Bcc: x@y\r\nFrom:I o x <io@example.it>\r\nTo:anna@example.it\r\n\r\nt\r\n.\r\n");
        QTest::newRow("accented text only") << "s" << "Io" << QStringLiteral("perché è così")
            << "Subject:s\r\n" + ascii + mime + "\r\n" + QStringLiteral("perché è così").toUtf8() + "\r\n.\r\n";
        QTest::newRow("accented subject and name") << QStringLiteral("Città") << QStringLiteral("Niccolò") << "t"
            << "Subject:=?UTF-8?B?" + QStringLiteral("Città").toUtf8().toBase64() + "?=\r\nFrom:=?UTF-8?B?"
                   + QStringLiteral("Niccolò").toUtf8().toBase64() + "?= <io@example.it>\r\nTo:anna@example.it\r\n" + mime
                   + "\r\nt\r\n.\r\n";
    }
    void messageOnTheWire()
    {
        QFETCH(QString, subject);
        QFETCH(QString, name);
        QFETCH(QString, text);
        QFETCH(QByteArray, expected);
        Rig rig;
        const auto record = rig.Queue(subject, text);
        record->mailFromName = name;
        QCOMPARE(rig.RunToMessage(record), expected);
    }

    void longAccentedSubjectIsFolded()
    {
        const QString subject = QString(40, QChar(0x00e8)) + QStringLiteral("\U0001F600") + QString(10, QChar('a'));
        const QByteArray encoded = SmtpSession::EncodeHeaderText(subject);
        QByteArray decoded;
        for (const QByteArray& word : encoded.split('\n')) {
            const QByteArray trimmed = word.trimmed();
            QVERIFY(trimmed.size() <= 75);
            QVERIFY(trimmed.startsWith("=?UTF-8?B?") && trimmed.endsWith("?="));
            const QByteArray bytes = QByteArray::fromBase64(trimmed.mid(10, trimmed.size() - 12));
            QVERIFY2(QString::fromUtf8(bytes).toUtf8() == bytes, "a word splits a character");
            decoded += bytes;
        }
        QVERIFY(encoded.count('\n') >= 1);
        QCOMPARE(QString::fromUtf8(decoded), subject);
    }

    void addressFieldsStayOnOneLine()
    {
        Rig rig;
        const auto record = rig.Queue();
        record->mailFrom = QStringLiteral("io@example.it>\r\nRSET");
        record->mailTo = QStringLiteral("a@b\nDATA");
        rig.session.StartSending(record);
        rig.ws.Reply("220 hi\r\n");
        rig.ws.Reply("250 a\r\n");
        rig.ws.TakeWritten();
        rig.ws.Reply("250 b\r\n");
        QCOMPARE(rig.ws.TakeWritten(), QByteArray("RCPT TO:<a@b DATA>\r\n"));
        QCOMPARE(rig.ws.writes.at(1), QByteArray("MAIL FROM:<io@example.it> RSET>\r\n"));
    }

    // A reply is answered once it is complete, however it arrives.
    void replyAssembly_data()
    {
        QTest::addColumn<QByteArrayList>("pieces");
        QTest::newRow("one piece") << QByteArrayList{"220 ready\r\n"};
        QTest::newRow("byte by byte") << QByteArrayList{"2", "2", "0", " ", "o", "k", "\r", "\n"};
        QTest::newRow("code only") << QByteArrayList{"220\r\n"};
        QTest::newRow("multi-line") << QByteArrayList{"220-first\r\n220-second\r\n220 last\r\n"};
        QTest::newRow("multi-line in pieces") << QByteArrayList{"220-fir", "st\r\n220", "-second\r", "\n22", "0 last\r\n"};
        QTest::newRow("bare LF") << QByteArrayList{"220-a\n", "220 b\n"};
    }
    void replyAssembly()
    {
        QFETCH(QByteArrayList, pieces);
        Rig rig;
        rig.session.StartSending(rig.Queue());
        for (qsizetype i = 0; i < pieces.size(); ++i) {
            QCOMPARE(rig.session.SendState(), 1);
            QVERIFY(rig.ws.written.isEmpty());
            rig.ws.Reply(pieces.at(i));
        }
        QCOMPARE(rig.ws.TakeWritten(), QByteArray("HELO ME\r\n"));
        QCOMPARE(rig.session.SendState(), 2);
        QVERIFY(rig.lstLog.Lines().at(0).startsWith("QUEUED - "));
    }

    // Time-outs, socket errors and a server close end the session with one ERR line.
    void failure_data()
    {
        QTest::addColumn<int>("step");
        QTest::addColumn<QString>("event");
        QTest::addColumn<QString>("expected");
        const QString may = QStringLiteral(" (after the message was sent: it may have been delivered)");
        QTest::newRow("no greeting") << 0 << "timeout" << "ERR - No reply from the server within 2 minutes";
        QTest::newRow("silence after RCPT") << 3 << "timeout" << "ERR - No reply from the server within 2 minutes";
        QTest::newRow("silence after the dot") << 5 << "timeout" << "ERR - No reply from the server within 10 minutes" + may;
        QTest::newRow("connection refused") << 0 << "error" << "ERR - Connection refused";
        QTest::newRow("error after the dot") << 5 << "error" << "ERR - Connection refused" + may;
        QTest::newRow("close after HELO") << 1 << "close"
                                          << "ERR - The server closed the connection before the end of the dialogue";
        QTest::newRow("close after the dot") << 5 << "close"
                                             << "ERR - The server closed the connection before the end of the dialogue" + may;
        QTest::newRow("endless line") << 0 << "flood" << "ERR - The server sent a reply longer than 65536 bytes";
    }
    void failure()
    {
        QFETCH(int, step);
        QFETCH(QString, event);
        QFETCH(QString, expected);
        Rig rig;
        rig.session.StartSending(rig.Queue());
        const QList<QByteArray> good = {"220 hi\r\n", "250 a\r\n", "250 b\r\n", "250 c\r\n", "354 d\r\n"};
        for (int i = 0; i < step; ++i)
            rig.ws.Reply(good.at(i));
        if (event == "timeout")
            rig.timer.Fire();
        else if (event == "error")
            rig.ws.Fail(QStringLiteral("Connection refused"));
        else if (event == "close")
            rig.ws.PeerClose();
        else
            for (int i = 0; i < 70; ++i)
                rig.ws.Reply(QByteArray(1024, 'x'));
        QCOMPARE(rig.session.SendState(), 0);
        QCOMPARE(rig.ws.closes, 1);
        QCOMPARE(rig.lstLog.LineCount(), 2);
        QCOMPARE(rig.lstLog.Line(0), expected);
        QVERIFY(!rig.HasOkLine());
        QVERIFY(rig.LogText().isEmpty());
    }

    // Whatever follows the end of a session adds no second outcome.
    void oneOutcomePerSession()
    {
        Rig rig;
        rig.RunToMessage(rig.Queue());
        rig.ws.Reply("250 ok\r\n");
        const QStringList after = rig.lstLog.Lines();
        rig.ws.Fail(QStringLiteral("Connection reset"));
        rig.ws.PeerClose();
        rig.timer.Fire();
        rig.ws.Reply("250 late\r\n554 later\r\n");
        QCOMPARE(rig.lstLog.Lines(), after);
        QCOMPARE(rig.ws.closes, 1);
        QCOMPARE(rig.session.SendState(), 0);

        // The same socket and session carry the next message.
        rig.RunToMessage(rig.Queue(QStringLiteral("Due")));
        rig.ws.Reply("250 ok\r\n");
        QCOMPARE(rig.lstLog.Line(1), QStringLiteral("OK - Anna anna@example.it - Due: a domani"));
        QCOMPARE(rig.LogText().count("\r\n"), 2);
    }

    void badServerSetting()
    {
        Rig rig;
        rig.settings.SMTP = QStringLiteral("smtp.example.it:99999");
        rig.session.StartSending(rig.Queue());
        QCOMPARE(rig.ws.connects, 0);
        QCOMPARE(rig.session.SendState(), 0);
        QCOMPARE(rig.lstLog.Line(0), QStringLiteral("ERR - Invalid SMTP server: \"smtp.example.it:99999\""));
    }
};

QTEST_GUILESS_MAIN(TestSmtpSession)
#include "test_smtpsession.moc"
