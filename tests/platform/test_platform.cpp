// The clock's days, the settings store's file, the data directory's fallback and the end
// of an HTTP body.
#include "HostilePeers.h"
#include "HttpsFiles.h"
#include "platform/Clock.h"
#include "platform/PrivateFiles.h"
#include "platform/ProgramDirectory.h"
#include "platform/SecretStore.h"
#include "platform/QtHttpClient.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSslConfiguration>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>
#include <unistd.h>

using namespace platform;
using namespace Qt::StringLiterals;

class TestPlatform : public QObject {
    Q_OBJECT

    QTemporaryDir m_home; // the user's folders for the whole run: the real default paths under it

    static bool Write(const QString& path, const QByteArray& bytes)
    {
        QDir().mkpath(QFileInfo(path).path());
        QFile file(path);
        return file.open(QFile::WriteOnly) && file.write(bytes) == bytes.size();
    }
    static int Mode(const QString& path)
    {
        struct stat info{};
        return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
    }

private Q_SLOTS:
    // Before any QSettings exists, which fixes the user's configuration folder for the process.
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
    }

    // The store the program uses when nobody names a file: Brevilo.conf, as the README says, also
    // when the .ini of earlier builds is still there (the process test sees that one taken over).
    void defaultStoreIsTheConfFile()
    {
        const QString conf = m_home.filePath("config/Brevilo/Brevilo.conf");
        const QString value = "àè, ; \"quoted\"";
        QVERIFY(Write(conf, "[Address]\nSmsGateway=sms.example.org\n"));
        QVERIFY(Write(m_home.filePath("config/Brevilo/Brevilo.ini"), "[Address]\nSmsGateway=stale.example.org\n"));
        {
            QtSettingsStore store;
            QCOMPARE(store.ReadSetting("Brevilo", "Address", "SmsGateway", {}), "sms.example.org");
            store.WriteSetting("Brevilo", "News", "Dest0", value); // commas and quotes are no list
            QVERIFY(store.Sync());
        }
        QCOMPARE(QtSettingsStore(conf).ReadSetting("Brevilo", "News", "Dest0", {}), value);
    }

    // The fraction of the day is wall-clock time: on the days clocks change, 10:00 stays 10:00.
    void wallClockOnChangeDays()
    {
        const QTimeZone rome("Europe/Rome");
        QVERIFY(rome.isValid());
        for (const QDate date : {QDate(2024, 10, 27), QDate(2024, 3, 31), QDate(2024, 6, 1)})
            for (const QTime time : {QTime(10, 0), QTime(1, 59, 59), QTime(23, 59, 59, 999)}) {
                const double days = ToDays(QDateTime(date, time, rome));
                QCOMPARE(FromDays(days, rome), QDateTime(date, time, rome));
                QCOMPARE(FromDays(days, QTimeZone::utc()).time(), time);
            }
        // Before the epoch the fraction still counts forward from midnight.
        const std::pair<QDateTime, double> rows[] = {{QDateTime(QDate(1899, 12, 29), QTime(18, 0)), -0.25},
                                                     {QDateTime(QDate(2026, 12, 6), QTime(6, 0)), 46362.25}};
        for (const auto& [time, days] : rows) {
            QCOMPARE(ToDays(time), days);
            QCOMPARE(FromDays(days), time);
        }
    }

    void dataDirectoryFallsBackWhenProgramDirectoryIsUnusable()
    {
        QTemporaryDir dir;
        QCOMPARE(DataDirectory(dir.path()), dir.path());
        const QString fallback = DataDirectory(dir.filePath("no/such/dir"));
        QVERIFY(fallback != dir.filePath("no/such/dir") && QFileInfo(fallback).isDir());
        // Made by the program for the user alone, whatever the umask.
        QCOMPARE(Mode(fallback), 0700);
        // Installed by the package: the per-user folder, even for root, who can write in /usr/bin.
        QCOMPARE(DataDirectory("/usr/bin"), fallback);
        QCOMPARE(DataDirectory("/usr/local/bin/"), fallback);
        // A folder others can write to, or another user's: the address book is not put there.
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
        QCOMPARE(DataDirectory(dir.path()), fallback);
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0755) == 0);
        if (::geteuid() == 0) { // only root can give a folder to another user
            QVERIFY(::chown(QFile::encodeName(dir.path()).constData(), 65534, 65534) == 0);
            QCOMPARE(DataDirectory(dir.path()), fallback);
        }
    }

    // The secret-store module is looked for where the program was installed, never beside it,
    // and loaded only from a file and folder no one else can write to.
    void moduleOnlyFromTrustedFolders_data()
    {
        QTest::addColumn<int>("folderMode");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("owner");
        QTest::addColumn<bool>("trusted");
        QTest::newRow("own folder and file, 0755/0644") << 0755 << 0644 << -1 << true;
        QTest::newRow("folder writable by all, as /tmp") << 01777 << 0644 << -1 << false;
        QTest::newRow("folder writable by the group") << 0775 << 0644 << -1 << false;
        QTest::newRow("file writable by others") << 0755 << 0666 << -1 << false;
        QTest::newRow("file of another user") << 0755 << 0644 << 65534 << false;
    }
    void moduleOnlyFromTrustedFolders()
    {
        QFETCH(int, folderMode);
        QFETCH(int, fileMode);
        QFETCH(int, owner);
        if (owner >= 0 && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QTemporaryDir dir;
        // A program copied into a folder of its own finds the module in its ../lib/…/brevilo,
        // never beside itself, and never a file without the suffix.
        QString module;
        for (const QString& candidate : SecretStoreModuleCandidates(dir.filePath("bin"))) {
            QVERIFY(!candidate.startsWith(dir.filePath("bin")) && candidate.endsWith(".so"));
            if (candidate.startsWith(dir.filePath("lib/")) && candidate.endsWith("/brevilo/brevilo_keychain.so"))
                module = candidate;
        }
        QVERIFY(Write(module, "not a library")); // none found: no file to write
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(module).path()).constData(), folderMode) == 0);
        QVERIFY(::chmod(QFile::encodeName(module).constData(), fileMode) == 0);
        if (owner >= 0)
            QVERIFY(::chown(QFile::encodeName(module).constData(), owner, owner) == 0);
        QTEST(TrustedForCode(module), "trusted");
    }

    // What start-up tightens, it tightens only for files the user owns (the process test sees the
    // user's own files and folders made private under the usual umask).
    void tightensOnlyOwnFiles()
    {
        if (::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QTemporaryDir dir;
        const QString foreign = dir.filePath("old/outbox/b.json");
        QVERIFY(Write(foreign, "{}") && ::chmod(QFile::encodeName(foreign).constData(), 0644) == 0);
        QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);
        TightenOwnModes({dir.filePath("old")});
        QCOMPARE(Mode(foreign), 0644);
    }

    // A news host may be "https://host": the page comes over TLS with its certificate verified
    // (no question: an unverified one is a failed request). An http page that redirects to https
    // of the same host is followed there, to another host never.
    void httpsPages_data()
    {
        QTest::addColumn<QString>("host"); // As, Ah: the trusted server's https and http ports; Bs: the untrusted one's
        QTest::addColumn<QString>("location"); // where page p redirects to; empty: p is the page
        QTest::addColumn<QString>("body");
        QTest::newRow("https, verified") << "https://127.0.0.1:As" << "" << "tls page";
        QTest::newRow("https, not verified") << "https://127.0.0.1:Bs" << "" << "";
        QTest::newRow("http to https of the same host") << "127.0.0.1:Ah" << "https://127.0.0.1:As/q" << "page q";
        QTest::newRow("http to https of another host") << "127.0.0.1:Ah" << "https://localhost:As/q" << "";
        QTest::newRow("https back to http") << "https://127.0.0.1:As" << "http://127.0.0.1:Ah/q" << "";
    }
    void httpsPages()
    {
        QFETCH(QString, host);
        QFETCH(QString, location);
        testsupport::HttpsFiles a, b;
        QVERIFY(a.Start() && b.Start());
        const auto ports = [&](QString text) {
            for (const auto& [name, url] : {std::pair{"As", a.Https()}, {"Ah", a.Http()}, {"Bs", b.Https()}})
                text.replace(name, url.section(':', 2).chopped(1)); // the port of "scheme://127.0.0.1:port/"
            return text;
        };
        for (testsupport::HttpsFiles* files : {&a, &b})
            QVERIFY(files->Put("p", "tls page", ports(location)) && files->Put("q", "page q"));
        const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusting = saved;
        QVERIFY(trusting.addCaCertificates(a.CaFile())); // A is vouched for, B is not
        QSslConfiguration::setDefaultConfiguration(trusting);
        QtHttpClient client(20000, 100000);
        client.StartRequest(ports(host), "p");
        QTRY_VERIFY_WITH_TIMEOUT(!client.IsExecuting(), 20000);
        QSslConfiguration::setDefaultConfiguration(saved);
        QCOMPARE(client.RequestHost(), ports(host)); // exactly as given, for the extractor's choice
        QTEST(client.ReadBody(100000), "body");
    }

    // The body's last character survives, also when the reply ends in the middle of it (as
    // U+FFFD) or the limit cuts the body; a character split between two packets stays whole.
    // A declared charset is used (bytes that do not fit it become U+FFFD), else ISO-8859-1; an
    // error status keeps its body, whatever error Qt files it under.
    void httpBody_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<QByteArrayList>("packets");
        QTest::addColumn<qsizetype>("limit");
        QTest::addColumn<QString>("body");
        const qsizetype normal = QtHttpClient::kDefaultBodyLimit;
        const QByteArray ok = "HTTP/1.0 200 OK\r\nContent-Type: text/html", utf8 = ok + "; charset=utf-8\r\n\r\n";
        QTest::newRow("character split between packets") << utf8 << QByteArrayList{"Citt\xc3", "\xa0"} << normal << u"Citt\u00e0"_s;
        QTest::newRow("cut character is the last within the limit") << utf8 << QByteArrayList{"Citt\xc3"} << qsizetype(5) << u"Citt\ufffd"_s;
        QTest::newRow("limit cuts before a cut character") << utf8 << QByteArrayList{"Citt\xc3\xa0 \xc3"} << qsizetype(5) << u"Citt\u00e0"_s;
        QTest::newRow("charset quoted, lower case") << ok + ";charset=\"utf-8\"\r\n\r\n" << QByteArrayList{"Citt\xc3\xa0"} << normal << u"Citt\u00e0"_s;
        QTest::newRow("no charset") << ok + "\r\n\r\n" << QByteArrayList{"Citt\xe0"} << normal << u"Citt\u00e0"_s;
        QTest::newRow("unknown charset") << ok + "; charset=x-unheard-of\r\n\r\n" << QByteArrayList{"Citt\xe0"} << normal << u"Citt\u00e0"_s;
        for (const char* status : {"404 Not Found", "400 Bad Request", "407 Proxy Authentication Required", "418 I'm a teapot", "503 Service Unavailable"})
            QTest::newRow(status) << "HTTP/1.0 " + QByteArray(status) + "\r\n\r\n" << QByteArrayList{"<b>x</b>"} << normal << u"<b>x</b>"_s;
    }
    void httpBody()
    {
        QFETCH(QByteArray, head);
        QFETCH(QByteArrayList, packets);
        QFETCH(qsizetype, limit);
        testsupport::ScriptedPeer server({}, testsupport::AnswerHttp([&](QTcpSocket& s) {
            s.write(head);
            for (qsizetype i = 0; i < packets.size(); ++i)
                QTimer::singleShot(100 * int(i), &s, [&s, &packets, i] {
                    s.write(packets[i]);
                    if (i + 1 == packets.size())
                        s.disconnectFromHost();
                });
        }));
        QtHttpClient inet1(QtHttpClient::kDefaultTimeoutMs, limit);
        QSignalSpy ended(&inet1, &IHttpClient::stateChanged);
        inet1.StartRequest(server.HostPort(), "page.html");
        QVERIFY(ended.wait(20000) && !inet1.IsExecuting());
        QCOMPARE(ended[0][0].toInt(), QtHttpClient::kStateResponseCompleted);
        QTEST(inet1.ReadBody(100000), "body");
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
