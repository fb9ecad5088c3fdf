// The settings variables against a store in memory (never the user's), and the address book file.
#include "Fakes.h"
#include "app/AddressBook.h"
#include "app/modMain.h"
#include "mail/AddressRules.h"

#include <QTemporaryDir>
#include <QTest>

#include <limits>

using app::AddressBook;

namespace {
QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}
} // namespace

class TestSettingsAndBook : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Plain integers are checked against the conversion by fuzz/fuzz_tempo.cpp.
    void convertTempoAttesa_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("expected");
        constexpr int max = std::numeric_limits<qint32>::max();
        QTest::newRow("half down to even") << "12.5" << 12;
        QTest::newRow("half up to even") << "13.5" << 14;
        QTest::newRow("7.5") << "7.5" << 8;
        QTest::newRow("word after") << "45 abc" << 45;
        QTest::newRow("letters only") << "abc" << 0;
        QTest::newRow("blank, TAB and LF inside") << " 1\t2\n0 " << 120;
        QTest::newRow("CR stops") << "1\r5" << 1;
        QTest::newRow("exponent") << "2.5E1" << 25;
        QTest::newRow("exponent sign without digits") << "12e+x" << 12;
        QTest::newRow("leading point") << ".6" << 1;
        QTest::newRow("second point stops") << "1.5.5" << 2;
        QTest::newRow("comma stops") << "1,5" << 1;
        QTest::newRow("hex is no number") << "0x10" << 0;
        QTest::newRow("just above the range") << "2147483648" << max;
        QTest::newRow("huge exponent") << "1e400" << max;
        QTest::newRow("huge negative") << "-99999999999999999999" << std::numeric_limits<qint32>::min();
        QTest::newRow("tiny") << "1e-400" << 0;
        QTest::newRow("zeros with huge exponent") << "0.000e999999999999" << 0;
    }
    void convertTempoAttesa()
    {
        QFETCH(QString, text);
        QFETCH(int, expected);
        QCOMPARE(app::ConvertTempoAttesa(text), expected);
    }

    void settingsKeysOrderAndDefaults()
    {
        testsupport::MemorySettingsStore store;
        app::ModMain m;
        QCOMPARE(m.Load(store), QString()); // first start
        QVERIFY(m.SMTP.isEmpty() && m.From.isEmpty() && m.TempoAttesa == 30 && m.NewsDest[2].isEmpty());
        QCOMPARE(m.SmsGateway, mail::kDefaultSmsGateway);
        m.From = "me@x.it";
        m.SMTP = "mail.x.it";
        m.TempoAttesa = -5;
        m.NewsDest = {"a@x.it", "", "c@x.it"};
        m.SerieA = true;
        m.Save(store, "Mario");
        QCOMPARE(store.writeOrder, QStringList({"Brevilo/Address/From", "Brevilo/Address/SMTP",
                                                "Brevilo/Address/Name", "Brevilo/Address/TempoAttesa",
                                                "Brevilo/News/Dest0", "Brevilo/News/Dest1", "Brevilo/News/Dest2"}));
        QCOMPARE(store.values.value("Brevilo/Address/TempoAttesa"), "-5");
        // Keys added by hand are read, trimmed, and never written back.
        store.values.insert("Brevilo/Address/SmsGateway", "sms.operator.test");
        store.values.insert("Brevilo/News/NewsHost", " news.test ");
        app::ModMain r;
        QCOMPARE(r.Load(store), "Mario");
        QCOMPARE(QStringList({r.From, r.SMTP, QString::number(r.TempoAttesa), r.NewsDest[0], r.NewsDest[2],
                              r.SmsGateway, r.NewsHost, r.SerieA ? "stored" : "not stored"}),
                 QStringList({"me@x.it", "mail.x.it", "-5", "a@x.it", "c@x.it", "sms.operator.test", "news.test",
                              "not stored"}));
        r.Save(store, QString());
        QVERIFY(!store.writeOrder.join(' ').contains("Host") && !store.writeOrder.join(' ').contains("Gateway"));
        // A blank gateway would turn numbers into "number@": the built-in one stays.
        store.values.insert("Brevilo/Address/SmsGateway", "  ");
        r.Load(store);
        QCOMPARE(r.SmsGateway, mail::kDefaultSmsGateway);
    }

    // Load, save and reload of any bytes are checked by fuzz/fuzz_addressbook.cpp; these are the values.
    void load_data()
    {
        QTest::addColumn<QByteArray>("file"); // null: there is none yet
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("none: made empty") << QByteArray() << QStringList();
        QTest::newRow("CR LF, blanks kept") << QByteArray(" Mario , 341\r\nAnna,a@x\r\n")
                                            << QStringList{" Mario \t 341", "Anna\ta@x"};
        QTest::newRow("not exactly one comma") << QByteArray("\r\nsolo\r\na,b,c\r\n,\r\nok,x@y\r\n")
                                               << QStringList{"\t", "ok\tx@y"};
        QTest::newRow("LF only, no final break") << QByteArray("a,1\nb,2\r\nc,3") << QStringList{"a\t1", "b\t2", "c\t3"};
        QTest::newRow("UTF-8 with BOM") << QByteArray("\xEF\xBB\xBFNicol\xC3\xB2,n@x\r\n")
                                        << QStringList{QString::fromUtf8("Nicol\xC3\xB2\tn@x")};
        QTest::newRow("older windows-1252 file")
            << QByteArray("Nicol\xF2,n@x\r\n\x80uro,e@x\r\n")
            << QStringList{QString::fromUtf8("Nicol\xC3\xB2\tn@x"), QString::fromUtf8("\xE2\x82\xACuro\te@x")};
    }
    void load()
    {
        QFETCH(QByteArray, file);
        QFETCH(QStringList, entries);
        QTemporaryDir dir;
        AddressBook book(dir.path());
        QFile f(book.Path());
        QVERIFY(file.isNull() || (f.open(QIODevice::WriteOnly) && f.write(file) == file.size()));
        f.close();
        QCOMPARE(book.Load(), entries);
        QCOMPARE(ReadAll(book.Path()), file); // loading never changes the file
    }

    void saveTrimsAndWritesCrLfUtf8()
    {
        QTemporaryDir dir;
        AddressBook book(dir.path());
        QVERIFY(book.Save({" Mario \t 341 ", QString::fromUtf8("Nicol\xC3\xB2\tn@x"), "extra\ta@b\tdropped", "\t\t "}));
        QCOMPARE(ReadAll(book.Path()), QByteArray("Mario,341\r\nNicol\xC3\xB2,n@x\r\nextra,a@b\r\n,\r\n"));
        QVERIFY(book.Save({}));
        QCOMPARE(ReadAll(book.Path()), QByteArray());
    }

    void refusalReason()
    {
        for (const QChar c : QStringLiteral(",\t\r\n")) {
            QVERIFY(AddressBook::RefusalReason(QString("Ma") + c + "rio", "m@x").value_or("").contains("virgole"));
            QVERIFY2(AddressBook::RefusalReason("Mario", QString("m@x") + c), qPrintable(QString::number(c.unicode())));
        }
        QVERIFY(!AddressBook::RefusalReason(" Mario Rossi ", " m@x ")); // blanks are fine
    }

    void sortedByCharacterCodes() // capitals first is shown through the window
    {
        QCOMPARE(AddressBook::Sorted({"Mario2\tz@x", "b\ta@x", "Mario\tz@x", "Mario\ta@x"}),
                 (QStringList{"Mario\ta@x", "Mario\tz@x", "Mario2\tz@x", "b\ta@x"}));
    }
};

QTEST_GUILESS_MAIN(TestSettingsAndBook)
#include "test_settings_book.moc"
