// The address book file.
#include "app/AddressBook.h"

#include <QTemporaryDir>
#include <QTest>

using app::AddressBook;

namespace {
QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}
} // namespace

class TestAddressBook : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Load, save and reload of any bytes are checked by fuzz/fuzz_addressbook.cpp; these are the values.
    void load()
    {
        const QString nicolo = QString::fromUtf8("Nicol\xC3\xB2\tn@x");
        const QList<std::pair<QByteArray, QStringList>> files = {
            {QByteArray(), {}}, // none yet: made empty
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

    // Whole entries by character codes: capitals first, then by nickname and, for the same
    // nickname, by address; a TAB orders before any printable character, so a nickname goes
    // before a longer one that it begins.
    void sorted_data()
    {
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<QStringList>("sorted");
        QTest::newRow("empty book") << QStringList() << QStringList();
        QTest::newRow("one entry") << QStringList{"Mario\tm@x"} << QStringList{"Mario\tm@x"};
        QTest::newRow("same nickname: by address") << QStringList{"Mario\tz@x", "Mario\ta@x"} << QStringList{"Mario\ta@x", "Mario\tz@x"};
        QTest::newRow("identical entries side by side") << QStringList{"b\tx", "a\tx", "b\tx"} << QStringList{"a\tx", "b\tx", "b\tx"};
        QTest::newRow("a nickname before one it begins")
            << QStringList{"Mario2\tz@x", "b\ta@x", "Mario\tz@x", "B\ta@x"} << QStringList{"B\ta@x", "Mario\tz@x", "Mario2\tz@x", "b\ta@x"};
    }
    void sorted()
    {
        QFETCH(QStringList, entries);
        QTEST(AddressBook::Sorted(entries), "sorted");
    }
};

QTEST_GUILESS_MAIN(TestAddressBook)
#include "test_addressbook.moc"
