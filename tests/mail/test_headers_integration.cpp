// What a mail reader makes of the headers Brevilo writes: the bytes a real SMTP server
// (aiosmtpd) received, read back by Python's own e-mail parser.
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

class TestHeadersIntegration : public QObject {
    Q_OBJECT
private:
    QTemporaryDir m_received;
    testsupport::LocalSmtpServer m_server;
    int m_delivered = 0;

private Q_SLOTS:
    void initTestCase() { QVERIFY2(m_server.Start(m_received.path()), qPrintable(m_server.Output())); }

    // The From header holds exactly one mailbox, whose display name is the name as typed.
    void senderNameReadsAsTyped_data()
    {
        QTest::addColumn<QString>("name");
        QTest::newRow("plain name") << "Mario Rossi";
        QTest::newRow("comma") << "Rossi, Mario";
        QTest::newRow("quotes and backslashes") << "Mario \"Il \\Capo\\\" Rossi \\";
        QTest::newRow("specials of an address") << "Rossi <rossi@x.it>; a@b (c) [d]: e.";
        QTest::newRow("accents") << "Niccolò Ré";
        QTest::newRow("accents and a comma") << "Ré, Niccolò";
        QTest::newRow("empty name") << "";
    }
    void senderNameReadsAsTyped()
    {
        QFETCH(QString, name);
        MailRig<platform::QtTcpSocket, platform::QtTimer> rig;
        rig.settings.SMTP = m_server.Setting();
        const auto record = rig.Queue("Saluti", "Ciao");
        record->mailFromName = name;
        rig.dispatcher.Timer1_Timer();
        QTRY_COMPARE_WITH_TIMEOUT(rig.session.SendState(), 0, 30000);
        QCOMPARE(rig.lstLog.Lines(), QStringList{Outbox::OkLine(*record)});

        const QString file = m_received.filePath(QStringLiteral("%1.eml").arg(++m_delivered, 4, 10, QLatin1Char('0')));
        QString error;
        const QJsonArray parsed = testsupport::ParseMessages({file}, &error);
        QVERIFY2(parsed.size() == 1, qPrintable(error));
        const QJsonObject message = parsed.at(0).toObject();
        QCOMPARE(message.value("defects").toArray(), QJsonArray());
        const QJsonArray from = message.value("from").toArray();
        QCOMPARE(from.size(), 1);
        QCOMPARE(from.at(0).toObject().value("name").toString(), name);
        QCOMPARE(from.at(0).toObject().value("address").toString(), QStringLiteral("io@example.it"));
    }

    // Submission: Date reads back as the moment of sending with the zone's own offset, and every
    // message has a Message-ID of its own at the sender's domain, kept when the message is sent again.
    void submissionDateAndMessageId_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::newRow("Rome") << QByteArray("Europe/Rome");
        QTest::newRow("New York") << QByteArray("America/New_York");
    }
    void submissionDateAndMessageId()
    {
        QFETCH(QByteArray, zone);
        const QByteArray oldZone = qgetenv("TZ");
        qputenv("TZ", zone);
        tzset();
        auto restoreZone = qScopeGuard([&] {
            oldZone.isNull() ? qunsetenv("TZ") : qputenv("TZ", oldZone);
            tzset();
        });

        MemoryStatusList lstLog;
        Outbox outbox(lstLog);
        QTemporaryDir dir;
        QStringList files;
        QList<QDateTime> sent;
        auto write = [&](const CMessaggio& record) {
            const ContentOptions submission{true, QDateTime::currentDateTime()};
            sent.append(submission.sendTime);
            files.append(dir.filePath(QString::number(files.size()) + ".eml"));
            QFile file(files.last());
            return file.open(QIODevice::WriteOnly) && file.write(MessageContent(record, submission)) > 0;
        };
        constexpr int kMessages = 1000;
        std::shared_ptr<CMessaggio> first;
        for (int i = 0; i < kMessages; ++i) {
            auto record = std::make_shared<CMessaggio>();
            record->mailTo = "anna@example.it";
            record->mailFrom = "io@Example.it";
            record->mailFromName = "Rossi, Mario";
            record->mailSubject = "Saluti";
            record->mailText = "Ciao";
            outbox.Enqueue(record, kComposerSeparator);
            first = first ? first : record;
            QVERIFY(write(*record));
        }
        QVERIFY(write(*first)); // the same record again, as a retry sends it

        QString error;
        const QJsonArray parsed = testsupport::ParseMessages(files, &error);
        QVERIFY2(parsed.size() == kMessages + 1, qPrintable(error));
        const QTimeZone local(zone);
        QVERIFY2(local.isValid() && local.offsetFromUtc(sent.first()) != 0, "time zone data missing");
        QSet<QString> ids;
        for (int i = 0; i < parsed.size(); ++i) {
            const QJsonObject message = parsed.at(i).toObject();
            QCOMPARE(message.value("defects").toArray(), QJsonArray());
            QCOMPARE(message.value("from").toArray().size(), 1);
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

QTEST_GUILESS_MAIN(TestHeadersIntegration)
#include "test_headers_integration.moc"
