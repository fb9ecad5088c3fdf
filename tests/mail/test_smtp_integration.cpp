// Plain delivery through the real dispatcher, session and socket to a real SMTP server (aiosmtpd)
// on loopback, and what a mail reader (Python's own e-mail parser) makes of the headers written.
#include "LocalSmtpServer.h"
#include "MailRig.h"
#include "MessageParser.h"
#include "mail/MessageFormat.h"
#include "platform/QtTcpSocket.h"

#include <QJsonObject>
#include <QScopeGuard>
#include <QSet>
#include <QTest>
#include <QTimeZone>

#include <ctime>

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
        rig.Queue("x", "y", "", "nobody@refused.test");
        for (int i = 0; i < 3; ++i)
            QVERIFY(rig.SendNext());
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

    // Submitted messages as a reader sees them: one From mailbox whose display name is the name as
    // typed; the Date of the moment of sending with the zone's own offset; a Message-ID of its own
    // at the sender's domain, kept when the message is sent again; no header defects.
    void readerSeesTheHeaders_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("Rome") << QByteArray("Europe/Rome");
        QTest::newRow("New York") << QByteArray("America/New_York");
    }
    void readerSeesTheHeaders()
    {
        QFETCH(QByteArray, zone);
        const QByteArray oldZone = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
        auto restoreZone = qScopeGuard([&] {
            oldZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldZone);
            tzset();
        });
        const QStringList names = {"Mario Rossi", "Rossi, Mario", "Mario \"Il \\Capo\\\" Rossi \\", "Niccolò Ré",
                                   "Rossi <rossi@x.it>; a@b (c) [d]: e.", "Ré, Niccolò", ""};
        constexpr int kMessages = 1000;
        MemoryStatusList lstLog;
        Outbox outbox(lstLog);
        QTemporaryDir dir;
        QStringList files;
        QList<QDateTime> sent;
        QList<std::shared_ptr<CMessaggio>> records;
        for (int i = 0; i <= kMessages; ++i) {
            if (i < kMessages) { // the last one is the first again, as a retry sends it
                records.append(std::make_shared<CMessaggio>());
                records.last()->mailTo = "anna@example.it";
                records.last()->mailFrom = "io@Example.it";
                records.last()->mailFromName = names[i % names.size()];
                outbox.Enqueue(records.last(), kComposerSeparator);
            }
            sent.append(QDateTime::currentDateTime());
            files.append(dir.filePath(QString::number(i) + ".eml"));
            QFile file(files.last());
            QVERIFY(file.open(QIODevice::WriteOnly) && file.write(MessageContent(*records[i % kMessages], {true, sent.last()})) > 0);
        }
        QString error;
        const QJsonArray parsed = testsupport::ParseMessages(files, &error);
        QVERIFY2(parsed.size() == kMessages + 1, qPrintable(error));
        const QTimeZone local(zone);
        QVERIFY2(local.isValid() && local.offsetFromUtc(sent.first()) != 0, "time zone data missing");
        QSet<QString> ids;
        for (int i = 0; i < parsed.size(); ++i) {
            const QJsonObject message = parsed.at(i).toObject();
            QCOMPARE(message.value("defects").toArray(), QJsonArray());
            const QJsonArray from = message.value("from").toArray();
            QCOMPARE(from.size(), 1);
            QCOMPARE(from.at(0).toObject().value("name").toString(), names[i % kMessages % names.size()]);
            QCOMPARE(from.at(0).toObject().value("address").toString(), "io@Example.it");
            const QJsonObject date = message.value("date").toObject();
            QVERIFY(qAbs(date.value("epoch").toDouble() - sent.at(i).toSecsSinceEpoch()) < 60);
            QCOMPARE(date.value("offset").toInt(), local.offsetFromUtc(sent.at(i)));
            const QString id = message.value("message_id").toString();
            QVERIFY2(id.startsWith('<') && id.endsWith("@example.it>"), qPrintable(id));
            ids.insert(id);
        }
        QCOMPARE(ids.size(), kMessages);
        QCOMPARE(parsed.last().toObject().value("message_id"), parsed.first().toObject().value("message_id"));
    }
};

QTEST_GUILESS_MAIN(TestSmtpIntegration)
#include "test_smtp_integration.moc"
