// The SMTP setting read as host and port.
#include "mail/SmtpAddress.h"

#include <QTest>

using mail::SmtpAddress;

class TestSmtpAddress : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("valid");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("bare host") << "smtp.example.it" << true << "smtp.example.it" << 25;
        QTest::newRow("blanks around") << "  smtp.example.it " << true << "smtp.example.it" << 25;
        QTest::newRow("host and port") << "smtp.example.it:2525" << true << "smtp.example.it" << 2525;
        QTest::newRow("IPv4 and port") << "127.0.0.1:587" << true << "127.0.0.1" << 587;
        QTest::newRow("bracketed IPv6 and port") << "[::1]:2525" << true << "::1" << 2525;
        QTest::newRow("bracketed IPv6") << "[2001:db8::5]" << true << "2001:db8::5" << 25;
        QTest::newRow("bare IPv6") << "2001:db8::5" << true << "2001:db8::5" << 25;
        QTest::newRow("empty") << "" << false << "" << 25;
        QTest::newRow("port 0") << "h:0" << false << "h" << 25;
        QTest::newRow("port too big") << "h:65536" << false << "h" << 25;
        QTest::newRow("port not a number") << "h:smtp" << false << "h" << 25;
        QTest::newRow("empty port") << "h:" << false << "h" << 25;
        QTest::newRow("port without host") << ":25" << false << "" << 25;
        QTest::newRow("unclosed bracket") << "[::1" << false << "" << 25;
        QTest::newRow("junk after bracket") << "[::1]x" << false << "::1" << 25;
    }
    void parse()
    {
        QFETCH(QString, setting);
        QFETCH(bool, valid);
        QFETCH(QString, host);
        QFETCH(int, port);
        const SmtpAddress address = SmtpAddress::Parse(setting);
        QCOMPARE(address.valid, valid);
        if (valid) {
            QCOMPARE(address.host, host);
            QCOMPARE(int(address.port), port);
        }
    }
};

QTEST_GUILESS_MAIN(TestSmtpAddress)
#include "test_smtpaddress.moc"
