// Long and odd input in every field, an odd rubrica.txt and a settings file with wrong types:
// what reaches the wire and the files. "Characters" in the counters are UTF-16 units, as an
// SMS in UCS-2 counts them: a character outside the Basic Multilingual Plane counts two.
#include "FakeHttpClient.h"
#include "Fakes.h"
#include "HostilePeers.h"
#include "app/AddressBook.h"
#include "app/frmMain.h"
#include "app/frmOptions.h"
#include "platform/SettingsStore.h"

#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

namespace {
QByteArray DecodeQuotedPrintable(QByteArray text)
{
    text.replace("=\r\n", "");
    QByteArray out;
    for (qsizetype i = 0; i < text.size(); ++i) {
        out += text[i] == '=' ? char(text.mid(i + 1, 2).toInt(nullptr, 16)) : text[i];
        i += text[i] == '=' ? 2 : 0;
    }
    return out;
}
} // namespace

class TestBadInput : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    FakeClock m_clock;
    MemorySettingsStore m_store;
    FakeDialogs m_dialogs;
    FakeDesktop m_desktop;
    FakeHttpClient m_inet1;
    FakeTimer m_timer1, m_timer2;

    std::unique_ptr<app::frmMain> Open(platform::ISettingsStore* store = nullptr)
    {
        app::frmMainDeps deps{.clock = &m_clock, .store = store ? store : &m_store, .dialogs = &m_dialogs,
                              .desktop = &m_desktop, .inet1 = &m_inet1, .timer1 = &m_timer1, .timer2 = &m_timer2,
                              .timeouts = {}, .dataDirectory = m_dir.path()};
        return std::make_unique<app::frmMain>(deps);
    }

private slots:
    void fieldsToTheWire_data()
    {
        QTest::addColumn<QString>("odd");
        QTest::addColumn<bool>("inAddress");
        QTest::newRow("10,000 characters") << QString(5000, u'a') + QString(5000, u'\u00e8') << false;
        QTest::newRow("control characters") << QStringLiteral("a\x01\x07\x1b\x7f\tb\rc") << true;
        QTest::newRow("CR and LF pasted") << QStringLiteral("one\r\nRCPT TO:<x@y>\nDATA\r.\r\n") << true;
        QTest::newRow("emoji") << QStringLiteral("x") + QString::fromUcs4(U"\U0001F600").repeated(40) << true;
    }
    void fieldsToTheWire()
    {
        QFETCH(QString, odd);
        QFETCH(bool, inAddress);
        SmtpScript server;
        ScriptedPeer peer(server.OnConnect(), server.OnData());
        m_store.values[MemorySettingsStore::Key("Brevilo", "Address", "SMTP")] = peer.HostPort();
        m_store.values[MemorySettingsStore::Key("Brevilo", "Address", "From")] = "me@example.org";
        auto window = Open();
        for (const char* name : {"txtName", "txtNick", "txtTo", "txtSubject", "txtTesto"}) {
            QApplication::clipboard()->setText(QLatin1String(name) == "txtTo" ? (inAddress ? odd : "") + "@x.org" : odd);
            QMetaObject::invokeMethod(window->findChild<QWidget*>(name), "paste");
        }
        const QString text = window->findChild<QPlainTextEdit*>("txtTesto")->toPlainText();
        QCOMPARE(window->findChild<QLabel*>("lblCharCount")->text(), "Caratteri: " + QString::number(text.size()));
        window->cmdInvia_Click();
        m_clock.AdvanceSeconds(60);
        m_timer1.Fire();
        QTRY_COMPARE_WITH_TIMEOUT(server.messages.size(), 1, 20000);
        auto* lstLog = window->findChild<QListWidget*>("lstLog");
        QTRY_VERIFY(lstLog->item(0)->text().startsWith("OK - "));
        QVERIFY(!lstLog->item(0)->text().back().isHighSurrogate()); // the preview cut keeps pairs whole

        // No field starts a header of its own, no line is too long for SMTP, the text arrives whole.
        const QByteArray message = server.messages.first();
        const qsizetype blank = message.indexOf("\r\n\r\n");
        static const QRegularExpression header("^(Subject|From|To|MIME-Version|Content-Type|Content-Transfer-Encoding):| ");
        for (const QByteArray& line : message.left(blank).split('\n'))
            QVERIFY2(header.match(QString::fromUtf8(line)).hasMatch(), line.left(80));
        for (const QByteArray& line : message.split('\n'))
            QVERIFY(line.size() <= 999);
        QByteArray body = "\n" + message.mid(blank + 4);
        if (message.left(blank).contains("quoted-printable"))
            body = DecodeQuotedPrintable(body);
        QString expected = text;
        expected.replace("\r\n", "\n").replace('\r', '\n');
        QCOMPARE(QString::fromUtf8(body.replace("\r\n", "\n").replace("\n..", "\n.")), '\n' + expected + '\n');
        window->close();
    }

    // 30,000 lines, lines in two encodings, stray bytes, a TAB in a field, no final line break:
    // everything shown at start-up is in the file after the save, and reads back the same.
    void addressBookKeptWhole()
    {
        QByteArray bytes = "Nicol\xC3\xB2,n@x\r\nAndr\xE8,a@x\r\nTab\there,t@x\r\n";
        bytes += QByteArray("\x01\xff<NUL>zz,\x81@x\r\n").replace("<NUL>", QByteArray(1, '\0'));
        for (int i = 4; i < 30000; ++i)
            bytes += "n" + QByteArray::number(i) + ",a@x\r\n";
        bytes.chop(2);
        QFile file(m_dir.filePath("rubrica.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
        file.close();

        auto window = Open();
        auto* list = window->findChild<QListWidget*>("lstRubrica");
        QCOMPARE(list->count(), 30000);
        QCOMPARE(list->item(0)->text(), QString::fromUtf8("Nicol\xC3\xB2\tn@x"));
        QCOMPARE(list->item(1)->text(), QString::fromUtf8("Andr\xC3\xA8\ta@x"));
        QCOMPARE(list->item(2)->text(), "Tab here\tt@x");
        QStringList shown;
        for (int row = 0; row < list->count(); ++row)
            shown.append(list->item(row)->text());
        window->close();
        QCOMPARE(app::AddressBook(m_dir.path()).Load(), shown);
        QVERIFY(m_dialogs.shown.isEmpty());
        QVERIFY(file.remove());
    }

    void settingsOfWrongTypes()
    {
        const QString path = m_dir.filePath("Brevilo.ini");
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(QByteArray("[Address]\nTempoAttesa=abc\nFrom=a@b, c@d\nSMTP=@Rect(1 2 3 4)\n"
                              "Name=@Variant(\\0\\0\\0\\x7f\\0junk)\n==\ngarbage \xff<NUL> line\n[News]\n"
                              "Dest0=@ByteArray(\xff)\nDest1=1, 2\n[Address\n")
                       .replace("<NUL>", QByteArray(1, '\0')));
        file.close();
        platform::QtSettingsStore store(path);
        auto window = Open(&store);
        QCOMPARE(window->Settings().TempoAttesa, 0);
        QCOMPARE(window->Settings().From, QString()); // a list is no address
        QCOMPARE(window->Settings().NewsDest[1], QString());
        window->close();
        QCOMPARE(platform::QtSettingsStore(path).ReadSetting("Brevilo", "Address", "TempoAttesa", {}), "0");
    }

    void optionsTakeAnything()
    {
        auto window = Open();
        window->mnuConfigure_Click();
        auto* options = window->findChild<app::frmOptions*>("frmOptions");
        const QString odd = QString(10000, u'9') + QStringLiteral("\r\n\x01") + QString::fromUcs4(U"\U0001F600");
        for (QLineEdit* field : options->findChildren<QLineEdit*>())
            field->setText(odd);
        options->cmdOk_Click();
        QCOMPARE(window->Settings().SMTP, odd);
        QCOMPARE(window->Settings().NewsDest[2], odd);
        QCOMPARE(window->Settings().TempoAttesa, std::numeric_limits<qint32>::max());
        window->close();
    }
};

QTEST_MAIN(TestBadInput)
#include "test_badinput.moc"
