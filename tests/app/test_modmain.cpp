#include "Fakes.h"
#include "app/modMain.h"
#include "mail/AddressRules.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <limits>

using app::ModMain;
using testsupport::MemorySettingsStore;

class TestModMain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void convertTempoAttesa_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        constexpr int max = std::numeric_limits<qint32>::max();
        constexpr int min = std::numeric_limits<qint32>::min();
        QTest::newRow("plain") << "30" << 30;
        QTest::newRow("half down to even") << "12.5" << 12;
        QTest::newRow("half up to even") << "13.5" << 14;
        QTest::newRow("negative half") << "-2.5" << -2;
        QTest::newRow("negative") << "-5" << -5;
        QTest::newRow("word after") << "45 minuti" << 45;
        QTest::newRow("letters only") << "abc" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("blanks inside") << " 1 2 " << 12;
        QTest::newRow("tab and line feed") << "1\t5\n0" << 150;
        QTest::newRow("carriage return stops") << "1\r5" << 1;
        QTest::newRow("exponent") << "2.5E1" << 25;
        QTest::newRow("exponent without digits") << "12E" << 12;
        QTest::newRow("exponent sign without digits") << "12e+x" << 12;
        QTest::newRow("leading point") << ".6" << 1;
        QTest::newRow("second point stops") << "1.5.5" << 2;
        QTest::newRow("comma stops") << "1,5" << 1;
        QTest::newRow("hex is no number") << "0x10" << 0;
        QTest::newRow("largest") << "2147483647" << max;
        QTest::newRow("just above") << "2147483648" << max;
        QTest::newRow("huge exponent") << "1e400" << max;
        QTest::newRow("huge negative") << "-99999999999999999999" << min;
        QTest::newRow("tiny") << "1e-400" << 0;
        QTest::newRow("zeros with huge exponent") << "0.000e999999999999" << 0;
    }
    void convertTempoAttesa()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(app::ConvertTempoAttesa(text), expected);
    }

    void firstRunGivesTheDefaults()
    {
        MemorySettingsStore store;
        ModMain m;
        QCOMPARE(m.Load(store), QString());
        QCOMPARE(m.SMTP, QString());
        QCOMPARE(m.From, QString());
        QCOMPARE(m.TempoAttesa, 30);
        QCOMPARE(m.NewsDest, (std::array<QString, 3>{}));
        QCOMPARE(m.SmsGateway, mail::kDefaultSmsGateway);
        QVERIFY(!m.SerieA && !m.SerieB && !m.PallavoloA1_finali && !m.PallavoloA1_parziali && !m.Notizie
                && !m.TuttiGol && m.PallavoloDettaglio.isEmpty());
    }

    void saveWritesInOrderAndLoadRestores()
    {
        MemorySettingsStore store;
        ModMain m;
        m.From = "me@x.it";
        m.SMTP = "mail.x.it";
        m.TempoAttesa = -5;
        m.NewsDest = {"a@x.it", "", "c@x.it"};
        m.SerieA = m.Notizie = true;
        m.PallavoloDettaglio = "*";
        m.SmsGateway = "typed.in.memory";
        m.Save(store, "Mario");
        QCOMPARE(store.writeOrder,
                 QStringList({"Brevilo/Address/From", "Brevilo/Address/SMTP", "Brevilo/Address/Name",
                              "Brevilo/Address/TempoAttesa", "Brevilo/News/Dest0", "Brevilo/News/Dest1",
                              "Brevilo/News/Dest2"}));
        QCOMPARE(store.values.value("Brevilo/Address/TempoAttesa"), QStringLiteral("-5"));

        ModMain restarted;
        QCOMPARE(restarted.Load(store), QStringLiteral("Mario"));
        QCOMPARE(restarted.From, m.From);
        QCOMPARE(restarted.SMTP, m.SMTP);
        QCOMPARE(restarted.TempoAttesa, -5);
        QCOMPARE(restarted.NewsDest, m.NewsDest);
        QVERIFY(!restarted.SerieA && !restarted.Notizie && restarted.PallavoloDettaglio.isEmpty());
    }

    void optionalKeysAreReadNeverWritten()
    {
        MemorySettingsStore store;
        store.values.insert("Brevilo/Address/SmsGateway", "sms.operator.test");
        store.values.insert("Brevilo/News/NewsHost", " news.test ");
        ModMain m;
        m.Load(store);
        QCOMPARE(m.SmsGateway, QStringLiteral("sms.operator.test"));
        QCOMPARE(m.NewsHost, QStringLiteral("news.test"));
        QCOMPARE(m.VolleyHost, QString());
        m.Save(store, QString());
        QVERIFY(!store.writeOrder.join(' ').contains("Host"));
        QVERIFY(!store.writeOrder.contains("Brevilo/Address/SmsGateway"));

        // A blank gateway would turn numbers into "number@": keep the default instead.
        store.values.insert("Brevilo/Address/SmsGateway", "  ");
        m.Load(store);
        QCOMPARE(m.SmsGateway, mail::kDefaultSmsGateway);
    }

    void iniFileHasTheSectionsAndKeys()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Brevilo.conf");
        {
            platform::QtSettingsStore store(path);
            ModMain m;
            m.From = "me@x.it";
            m.SMTP = "mail.x.it";
            m.TempoAttesa = 45;
            m.NewsDest = {"a@x.it", "b@x.it", ""};
            m.Save(store, "Mario Rossi");
            QVERIFY(store.Sync());
        }
        QSettings file(path, QSettings::IniFormat);
        QCOMPARE(file.childGroups(), QStringList({"Address", "News"}));
        QCOMPARE(file.value("Address/From").toString(), QStringLiteral("me@x.it"));
        QCOMPARE(file.value("Address/SMTP").toString(), QStringLiteral("mail.x.it"));
        QCOMPARE(file.value("Address/Name").toString(), QStringLiteral("Mario Rossi"));
        QCOMPARE(file.value("Address/TempoAttesa").toString(), QStringLiteral("45"));
        QCOMPARE(file.value("News/Dest1").toString(), QStringLiteral("b@x.it"));
        QVERIFY(file.contains("News/Dest2"));

        platform::QtSettingsStore again(path);
        ModMain m;
        QCOMPARE(m.Load(again), QStringLiteral("Mario Rossi"));
        QCOMPARE(m.TempoAttesa, 45);
        QCOMPARE(m.NewsDest[1], QStringLiteral("b@x.it"));
    }
};

QTEST_GUILESS_MAIN(TestModMain)
#include "test_modmain.moc"
