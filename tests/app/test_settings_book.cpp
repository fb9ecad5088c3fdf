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
    void convertTempoAttesa()
    {
        constexpr int max = std::numeric_limits<qint32>::max(), min = std::numeric_limits<qint32>::min();
        const QList<std::pair<QString, int>> rows = {
            {"12.5", 12}, {"13.5", 14}, {"45 abc", 45}, {"abc", 0}, {" 1\t2\n0 ", 120}, {"1\r5", 1},
            {"2.5E1", 25}, {"12e+x", 12}, {".6", 1}, {"1.5.5", 2}, {"1,5", 1}, {"0x10", 0}, {"2147483648", max},
            {"1e400", max}, {"-99999999999999999999", min}, {"1e-400", 0}, {"0.000e999999999999", 0}};
        for (const auto& [text, expected] : rows)
            QVERIFY2(app::ConvertTempoAttesa(text) == expected, qPrintable(text));
    }

    void settingsKeysOrderAndDefaults()
    {
        testsupport::MemorySettingsStore store;
        app::ModMain m;
        QCOMPARE(m.Load(store), QString()); // first start
        QCOMPARE(QStringList({m.SMTP, m.From, QString::number(m.TempoAttesa), m.NewsDest[2], m.SmsGateway}),
                 QStringList({"", "", "30", "", mail::kDefaultSmsGateway}));
        m.From = "me@x.it", m.SMTP = "mail.x.it", m.TempoAttesa = -5, m.SerieA = true;
        m.NewsDest = {"a@x.it", "", "c@x.it"};
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
    void load()
    {
        const QString nicolo = QString::fromUtf8("Nicol\xC3\xB2\tn@x");
        const QList<std::pair<QByteArray, QStringList>> files = {
            {QByteArray(), {}}, // none yet: made empty
            {" Mario , 341\r\nAnna,a@x\r\n", {" Mario \t 341", "Anna\ta@x"}}, // blanks kept
            {"\r\nsolo\r\na,b,c\r\n,\r\nok,x@y\r\n", {"\t", "ok\tx@y"}}, // exactly one comma, or none taken
            {"a,1\nb,2\r\nc,3", {"a\t1", "b\t2", "c\t3"}},                    // LF only, no final break
            {"\xEF\xBB\xBFNicol\xC3\xB2,n@x\r\n", {nicolo}},                    // UTF-8 with BOM
            {"Nicol\xF2,n@x\r\n\x80uro,e@x\r\n", {nicolo, QString::fromUtf8("\xE2\x82\xACuro\te@x")}}}; // windows-1252
        for (const auto& [file, entries] : files) {
            QTemporaryDir dir;
            AddressBook book(dir.path());
            QFile f(book.Path());
            QVERIFY(file.isNull() || (f.open(QIODevice::WriteOnly) && f.write(file) == file.size()));
            f.close();
            QCOMPARE(book.Load(), entries);
            QCOMPARE(ReadAll(book.Path()), file); // loading never changes the file
        }
    }

    void saveTrimsAndWritesCrLfUtf8()
    {
        QTemporaryDir dir;
        AddressBook book(dir.path());
        QVERIFY(book.Save({" Mario \t 341 ", QString::fromUtf8("Nicol\xC3\xB2\tn@x"), "\t\t "}));
        QCOMPARE(ReadAll(book.Path()), QByteArray("Mario,341\r\nNicol\xC3\xB2,n@x\r\n,\r\n"));
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
