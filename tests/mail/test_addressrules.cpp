#include "mail/AddressRules.h"

#include <QTest>

using namespace mail;

class TestAddressRules : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void mobileNumberRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("34 and eight digits") << "3401234567" << "3401234567@gw.test";
        QTest::newRow("begins with 33") << "3301234567" << "3301234567";
        QTest::newRow("nine characters") << "340123456" << "340123456";
        QTest::newRow("eleven characters") << "34012345678" << "34012345678";
        QTest::newRow("international prefix") << "+393401234567" << "+393401234567";
        QTest::newRow("blank inside") << "340 1234567" << "340 1234567";
        QTest::newRow("blank around (not trimmed here)") << " 3401234567" << " 3401234567";
        QTest::newRow("Arabic-Indic digits") << QString::fromUtf8("34\u0660\u0661\u0662\u0663\u0664\u0665\u0666\u0667")
                                             << QString::fromUtf8("34\u0660\u0661\u0662\u0663\u0664\u0665\u0666\u0667");
        QTest::newRow("already an address") << "3401234567@gw.test" << "3401234567@gw.test";
    }
    void mobileNumberRule()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(ApplyMobileNumberRule(text, QStringLiteral("gw.test")), expected);
    }

    void gatewayAddress_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("expected");
        QTest::newRow("ten digits") << "3301234567@gw.test" << true;
        QTest::newRow("nine digits") << "330123456@gw.test" << false;
        QTest::newRow("eleven digits") << "33012345678@gw.test" << false;
        QTest::newRow("other case") << "3301234567@GW.test" << false;
        QTest::newRow("other domain") << "3301234567@gw.tes" << false;
        QTest::newRow("trailing blank") << "3301234567@gw.test " << false;
        QTest::newRow("letter among digits") << "33012345a7@gw.test" << false;
    }
    void gatewayAddress()
    {
        QFETCH(QString, text);
        QFETCH(bool, expected);
        QCOMPARE(IsGatewayAddress(text, QStringLiteral("gw.test")), expected);
    }

    void trimSpacesOnlyRemovesBlanks()
    {
        QCOMPARE(TrimSpaces(QStringLiteral("  a b  ")), QStringLiteral("a b"));
        QCOMPARE(TrimSpaces(QStringLiteral("   ")), QString());
        QCOMPARE(TrimSpaces(QStringLiteral("\n\t x \t\n")), QStringLiteral("\n\t x \t\n"));
    }
};

QTEST_GUILESS_MAIN(TestAddressRules)
#include "test_addressrules.moc"
