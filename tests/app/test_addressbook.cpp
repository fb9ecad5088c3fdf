#include "app/AddressBook.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using app::AddressBook;

namespace {

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    QCOMPARE(f.write(bytes), bytes.size());
}

} // namespace

class TestAddressBook : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void missingFileIsCreatedEmpty()
    {
        QTemporaryDir dir;
        AddressBook book(dir.path());
        QVERIFY(book.Load().isEmpty());
        QVERIFY(QFile::exists(dir.filePath("rubrica.txt")));
        QCOMPARE(QFileInfo(dir.filePath("rubrica.txt")).size(), 0);
    }

    void load_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QStringList>("entries");
        QTest::newRow("CR LF lines") << QByteArray("Mario,3412345678\r\nAnna,anna@example.org\r\n")
                                     << QStringList{"Mario\t3412345678", "Anna\tanna@example.org"};
        QTest::newRow("spaces around the comma kept")
            << QByteArray(" Mario , m@example.org \r\n") << QStringList{" Mario \t m@example.org "};
        QTest::newRow("empty, no-comma and two-comma lines skipped")
            << QByteArray("\r\nsolo\r\na,b,c\r\n,\r\nok,x@y\r\n") << QStringList{"\t", "ok\tx@y"};
        QTest::newRow("LF only and no final break")
            << QByteArray("a,1\nb,2\r\nc,3") << QStringList{"a\t1", "b\t2", "c\t3"};
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
        WriteAll(dir.filePath("rubrica.txt"), file);
        QCOMPARE(AddressBook(dir.path()).Load(), entries);
        // Loading never touches the file.
        QCOMPARE(ReadAll(dir.filePath("rubrica.txt")), file);
    }

    void saveWritesTrimmedCrLfUtf8()
    {
        QTemporaryDir dir;
        AddressBook book(dir.path());
        const QStringList entries{" Mario \t 3412345678 ", QString::fromUtf8("Nicol\xC3\xB2\tn@x"),
                                  "extra\ta@b\tdropped", "\t\tonly tabs "};
        QVERIFY(book.Save(entries));
        QCOMPARE(ReadAll(book.Path()),
                 QByteArray("Mario,3412345678\r\nNicol\xC3\xB2,n@x\r\nextra,a@b\r\n,\r\n"));
        QCOMPARE(book.Load(), (QStringList{"Mario\t3412345678", QString::fromUtf8("Nicol\xC3\xB2\tn@x"),
                                            "extra\ta@b", "\t"}));
    }

    void saveOfEmptyListLeavesZeroBytes()
    {
        QTemporaryDir dir;
        AddressBook book(dir.path());
        WriteAll(book.Path(), "old,entry\r\n");
        QVERIFY(book.Save({}));
        QCOMPARE(ReadAll(book.Path()), QByteArray());
    }

    void saveFailureNamesThePath_data()
    {
        QTest::addColumn<bool>("directoryInPlaceOfFile");
        // Tests run as root in CI, where permissions stop nothing: fail through the path.
        QTest::newRow("directory missing") << false;
        QTest::newRow("directory in place of the file") << true;
    }
    void saveFailureNamesThePath()
    {
        QFETCH(bool, directoryInPlaceOfFile);
        QTemporaryDir dir;
        const QString folder = directoryInPlaceOfFile ? dir.path() : dir.filePath("missing");
        if (directoryInPlaceOfFile)
            QVERIFY(QDir(dir.path()).mkdir("rubrica.txt"));
        AddressBook book(folder);
        QString error;
        QVERIFY(!book.Save({"a\tb"}, &error));
        QVERIFY2(error.contains(QDir::toNativeSeparators(book.Path())), qPrintable(error));
        QVERIFY(book.Load().isEmpty()); // and loading from there does not crash
    }

    void refusalReason_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("address");
        QTest::addColumn<bool>("refused");
        QTest::newRow("plain") << "Mario" << "m@example.org" << false;
        QTest::newRow("spaces") << " Mario Rossi " << " m@example.org " << false;
        QTest::newRow("comma in nick") << "Rossi, Mario" << "m@example.org" << true;
        QTest::newRow("comma in address") << "Mario" << "a@x,b@y" << true;
        QTest::newRow("TAB in nick") << "Ma\trio" << "m@x" << true;
        QTest::newRow("TAB in address") << "Mario" << "m@x\t" << true;
        QTest::newRow("line break") << "Mario" << "m@x\nother,y" << true;
        QTest::newRow("carriage return") << "Ma\rrio" << "m@x" << true;
    }
    void refusalReason()
    {
        QFETCH(QString, nick);
        QFETCH(QString, address);
        QFETCH(bool, refused);
        const auto reason = AddressBook::RefusalReason(nick, address);
        QCOMPARE(reason.has_value(), refused);
        if (refused)
            QVERIFY(reason->contains("virgole") && reason->contains("tabulazioni"));
        // Whatever is accepted survives the file unchanged (apart from outer spaces).
        if (!refused) {
            QTemporaryDir dir;
            AddressBook book(dir.path());
            QVERIFY(book.Save({AddressBook::MakeEntry(nick, address)}));
            QCOMPARE(book.Load(), QStringList{AddressBook::MakeEntry(nick.trimmed(), address.trimmed())});
        }
    }

    void sortedByCharacterCodes()
    {
        QCOMPARE(AddressBook::Sorted({"B\tb@x", "a\ta@x", "A\tA@x"}),
                 (QStringList{"A\tA@x", "B\tb@x", "a\ta@x"}));
        QCOMPARE(AddressBook::Sorted({"Mario2\tz@x", "Mario\tz@x", "Mario\ta@x"}),
                 (QStringList{"Mario\ta@x", "Mario\tz@x", "Mario2\tz@x"}));
        QVERIFY(AddressBook::Sorted({}).isEmpty());
    }

    void largeFileWithBinaryBytes()
    {
        // 30,000 lines, some of them binary junk, no final line break.
        QTemporaryDir dir;
        AddressBook book(dir.path());
        QByteArray file;
        int good = 0;
        for (int i = 0; i < 30000; ++i) {
            if (i % 97 == 0) {
                file += QByteArray("\x00\xFF\x81\x8D\x90\x9D junk", 12);
            } else {
                file += "nick" + QByteArray::number(29999 - i) + ",a" + QByteArray::number(i) + "@x";
                ++good;
            }
            if (i < 29999)
                file += "\r\n";
        }
        WriteAll(book.Path(), file);
        const QStringList entries = book.Load();
        QCOMPARE(entries.size(), good);
        QCOMPARE(entries.last(), QString("nick0\ta29999@x"));
        const QStringList sorted = AddressBook::Sorted(entries);
        QCOMPARE(sorted.size(), good);
        QCOMPARE(sorted.first(), QString("nick0\ta29999@x"));
        QVERIFY(book.Save(sorted));
        QCOMPARE(book.Load(), sorted);
    }
};

QTEST_GUILESS_MAIN(TestAddressBook)
#include "test_addressbook.moc"
