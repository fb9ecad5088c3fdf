// The real dispatcher, session and socket deliver to a real SMTP server (aiosmtpd) on loopback.
#include "LocalSmtpServer.h"
#include "MailRig.h"
#include "platform/QtTcpSocket.h"

#include <QTest>

using namespace mail;

class TestSmtpIntegration : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void deliversToARealServer()
    {
        QTemporaryDir received;
        testsupport::LocalSmtpServer server;
        QVERIFY2(server.Start(received.path()), qPrintable(server.Output()));
        MailRig<platform::QtTcpSocket, platform::QtTimer> rig;
        rig.settings.SMTP = server.Setting();
        const auto plain = rig.Queue("Saluti", "uno\n.due\n.\ntre", "Ann");
        const auto accented = rig.Queue("Perché sì", "Città: è già così.\r\nCiao", "Bea");
        accented->mailFromName = "Niccolò";
        const auto refused = rig.Queue("x", "y", "", "nobody@refused.test");
        for (int i = 0; i < 3; ++i) {
            rig.dispatcher.Timer1_Timer();
            QTRY_COMPARE_WITH_TIMEOUT(rig.session.SendState(), 0, 30000);
        }
        // Two messages arrived byte for byte (the server undoes the dot-stuffing), with their envelopes.
        QCOMPARE(ReadFile(received.filePath("0001.eml")),
                 "Subject:Saluti\r\nFrom:Io <io@example.it>\r\nTo:ann@example.it\r\n\r\nuno\r\n.due\r\n.\r\ntre\r\n");
        QCOMPARE(ReadFile(received.filePath("0002.eml")),
                 "Subject:=?UTF-8?B?" + QByteArray("Perché sì").toBase64() + "?=\r\nFrom:=?UTF-8?B?"
                     + QByteArray("Niccolò").toBase64() + "?= <io@example.it>\r\nTo:bea@example.it\r\n"
                     "MIME-Version: 1.0\r\nContent-Type: text/plain; charset=UTF-8\r\n"
                     "Content-Transfer-Encoding: 8bit\r\n\r\nCittà: è già così.\r\nCiao\r\n");
        QCOMPARE(ReadFile(received.filePath("0001.json")) + ReadFile(received.filePath("0002.json")),
                 R"({"mail_from": "io@example.it", "rcpt_tos": ["ann@example.it"]})"
                 R"({"mail_from": "io@example.it", "rcpt_tos": ["bea@example.it"]})");
        // OK lines over the queued lines; the refused recipient's own line says it ended, its reply
        // is appended, no log entry for it.
        QCOMPARE(rig.lstLog.Lines(), QStringList({Outbox::OkLine(*plain), Outbox::OkLine(*accented),
                                                  "ERR -  nobody@refused.test - x y",
                                                  "550 5.1.1 <nobody@refused.test>: mailbox unavailable\r\n"}));
        QCOMPARE(rig.LogText(), (rig.sendLog.Entry(*plain) + rig.sendLog.Entry(*accented)).toUtf8());
    }

    // A greylisting server turns away the first RCPT of each address: both messages wait while
    // the other goes, and each arrives once on its second attempt, a minute later, with one entry.
    void greylistedMessagesArriveOnALaterAttempt()
    {
        QTemporaryDir received;
        testsupport::LocalSmtpServer server;
        QVERIFY2(server.Start(received.path(), true), qPrintable(server.Output()));
        MailRig<platform::QtTcpSocket, platform::QtTimer, true> rig;
        rig.settings.SMTP = server.Setting();
        const auto ann = rig.Queue("Saluti", "uno", "Ann"), bea = rig.Queue("Ciao", "due", "Bea");
        auto tick = [&] {
            rig.dispatcher.Timer1_Timer();
            return QTest::qWaitFor([&] { return rig.session.SendState() == 0; }, 30000);
        };
        QVERIFY(tick() && tick());
        QCOMPARE(rig.lstLog.Lines(), QStringList({"RETRY 12:01 - Ann ann@example.it - Saluti uno",
                                                  "RETRY 12:01 - Bea bea@example.it - Ciao due",
                                                  "451 4.7.1 <ann@example.it>: greylisted, try again later\r\n",
                                                  "451 4.7.1 <bea@example.it>: greylisted, try again later\r\n"}));
        QVERIFY(tick()); // not yet due: nothing starts
        QVERIFY(rig.session.currentMail() == bea && rig.lstLog.LineCount() == 4);
        QCOMPARE(rig.OutboxFiles().size(), 2);
        rig.clock.AdvanceSeconds(60);
        QVERIFY(tick() && tick() && tick());
        QCOMPARE(rig.lstLog.Lines().mid(0, 2), QStringList({Outbox::OkLine(*ann), Outbox::OkLine(*bea)}));
        QCOMPARE(QDir(received.path()).entryList({"*.eml"}), QStringList({"0001.eml", "0002.eml"}));
        QCOMPARE(rig.LogText(), (rig.sendLog.Entry(*ann) + rig.sendLog.Entry(*bea)).toUtf8());
        QVERIFY(rig.OutboxFiles().isEmpty() && rig.outbox.mailQueue().Count() == 0);
    }
};

QTEST_GUILESS_MAIN(TestSmtpIntegration)
#include "test_smtp_integration.moc"
