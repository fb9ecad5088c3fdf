// Bad input from the user, from files and from peers on 127.0.0.1: long and odd input in every
// field, an odd rubrica.txt, a settings file with wrong types, misbehaving page servers; what
// reaches the wire and the files. "Characters" in the counters are UTF-16 units, as an SMS in
// UCS-2 counts them: a character outside the Basic Multilingual Plane counts two.
#include "FakeHttpClient.h"
#include "Fakes.h"
#include "HostilePeers.h"
#include "ScriptedSmtpServer.h"
#include "app/AddressBook.h"
#include "app/frmMain.h"
#include "platform/QtHttpClient.h"

#include <QClipboard>
#include <QListWidget>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;
using platform::QtHttpClient;

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
        return std::make_unique<app::frmMain>(app::frmMainDeps{
            .clock = &m_clock, .store = store ? store : &m_store, .dialogs = &m_dialogs, .desktop = &m_desktop,
            .inet1 = &m_inet1, .timer1 = &m_timer1, .timer2 = &m_timer2, .timeouts = {},
            .dataDirectory = m_dir.path(), .outboxDirectory = m_dir.filePath("outbox")});
    }

private slots:
    void fieldsToTheWire_data()
    {
        QTest::addColumn<QString>("odd");
        QTest::newRow("long, emoji")
            << "x" + QString::fromUcs4(U"\U0001F600").repeated(40) + QString(5000, u'a') + QString(5000, u'\u00e8');
        QTest::newRow("control characters, CR and LF pasted")
            << QStringLiteral("a\x01\x07\x1b\x7f\tb\rc one\r\nRCPT TO:<x@y>\nDATA\r.\r\n");
    }
    // Pasted into every field, the text is counted in UTF-16 units and arrives whole (the header
    // lines and line lengths of any field are the message fuzz target's).
    void fieldsToTheWire()
    {
        QFETCH(QString, odd);
        ScriptedSmtpServer server;
        m_store.values[MemorySettingsStore::Key("Brevilo", "Address", "SMTP")] = server.Address();
        m_store.values[MemorySettingsStore::Key("Brevilo", "Address", "From")] = "me@example.org";
        auto window = Open();
        for (const char* name : {"txtName", "txtNick", "txtTo", "txtSubject", "txtTesto"}) {
            QApplication::clipboard()->setText(qstrcmp(name, "txtTo") ? odd : "@x.org");
            QMetaObject::invokeMethod(window->findChild<QWidget*>(name), "paste");
        }
        const QString text = window->findChild<QObject*>("txtTesto")->property("plainText").toString();
        QCOMPARE(window->findChild<QObject*>("lblCharCount")->property("text").toString(),
                 "Caratteri: " + QString::number(text.size()));
        window->cmdInvia_Click();
        m_clock.AdvanceSeconds(60);
        m_timer1.Fire();
        QTRY_VERIFY_WITH_TIMEOUT(window->findChild<QListWidget*>("lstLog")->item(0)->text().startsWith("OK - "), 20000);

        const QByteArray sent = server.received;
        const qsizetype start = sent.indexOf("\r\nDATA\r\n") + 8, blank = sent.indexOf("\r\n\r\n", start);
        const QByteArray head = sent.mid(start, blank - start);
        QByteArray body = "\n" + sent.mid(blank + 4, sent.indexOf("\r\n.\r\n", blank) - blank - 2);
        if (head.contains("quoted-printable"))
            body = QByteArray::fromPercentEncoding(body.replace("=\r\n", ""), '=');
        QCOMPARE(QString::fromUtf8(body.replace("\r\n", "\n").replace("\n..", "\n.")),
                 '\n' + QString(text).replace("\r\n", "\n").replace('\r', '\n') + '\n');
    }

    // Two encodings (one with a letter outside Latin-1) and stray bytes in one file, a TAB in a
    // field: each line is read in its own encoding and the TAB becomes a blank.
    void addressBookOfOddBytes()
    {
        const QByteArray bytes = QByteArrayLiteral("Nicol\xC3\xB2\xC5\x82,n@x\r\nAndr\xE8,a@x\r\n"
                                                   "Tab\there,t@x\r\n\x01\xff\0zz,\x81@x");
        QTemporaryDir dir;
        QFile file(dir.filePath("rubrica.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush());
        QCOMPARE(app::AddressBook(dir.path()).Load().mid(0, 3), // what the window lists
                 QStringList({"Nicol\u00f2\u0142\tn@x", "Andr\u00e8\ta@x", "Tab here\tt@x"}));
    }

    void settingsOfWrongTypes()
    {
        QFile file(m_dir.filePath("Brevilo.conf"));
        const QByteArray ini =
            QByteArrayLiteral("[Address]\nTempoAttesa=abc\nFrom=a@b, c@d\nSMTP=@Rect(1 2 3 4)\n"
                              "Name=@Variant(\\0\\0\\0\\x7f\\0junk)\n==\ngarbage \xff\0 line\n"
                              "[News]\nDest0=@ByteArray(\xff)\nDest1=1, 2\n[Address\n");
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(ini) == ini.size() && file.flush());
        platform::QtSettingsStore store(file.fileName());
        auto window = Open(&store);
        const settings::ModMain& got = window->Settings();
        // A list is no address.
        QVERIFY(got.TempoAttesa == 0 && got.From.isEmpty() && got.NewsDest[1].isEmpty());
        window->close();
        QCOMPARE(platform::QtSettingsStore(file.fileName()).ReadSetting("Brevilo", "Address", "TempoAttesa", {}), "0");
    }

    // Each misbehaving page server ends the request in an error, and the next page still comes
    // from a well-behaved one.
    void httpServers_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::newRow("one byte a second") << QByteArray(20, 'x');
        QTest::newRow("closes mid-body") << "HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" + QByteArray(20000, 'x');
    }
    void httpServers()
    {
        QFETCH(QByteArray, response);
        int requests = 0; // the first gets the row's response, the next a good page
        ScriptedPeer peer({}, AnswerHttp([&](QTcpSocket& s) {
            // The head at once, then the body a byte a second: no idle time-out would end it.
            if (requests++ == 0 && QByteArray(QTest::currentDataTag()).startsWith("one byte")) {
                s.write("HTTP/1.0 200 OK\r\n\r\n");
                return Trickle(s, response);
            }
            s.write(requests == 1 ? response : "HTTP/1.0 200 OK\r\n\r\nnext page");
            s.disconnectFromHost();
        }));
        QtHttpClient client(1500);
        QSignalSpy states(&client, &platform::IHttpClient::stateChanged);
        for (const QString& body : {QString(), QString("next page")}) {
            client.StartRequest(peer.HostPort(), "page.html");
            QTRY_VERIFY_WITH_TIMEOUT(!client.IsExecuting(), 20000);
            QCOMPARE(states.last()[0].toInt(),
                     body.isEmpty() ? QtHttpClient::kStateError : QtHttpClient::kStateResponseCompleted);
            QCOMPARE(client.ReadBody(1000), body);
        }
    }
};

QTEST_MAIN(TestBadInput)
#include "test_badinput.moc"
