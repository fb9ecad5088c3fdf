// What a mail reader makes of the headers Brevilo writes: the bytes a real SMTP server
// (aiosmtpd) received, read back by Python's own e-mail parser.
#include "LocalSmtpServer.h"
#include "MailRig.h"
#include "MessageParser.h"
#include "platform/QtTcpSocket.h"

#include <QJsonObject>
#include <QTest>

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
};

QTEST_GUILESS_MAIN(TestHeadersIntegration)
#include "test_headers_integration.moc"
