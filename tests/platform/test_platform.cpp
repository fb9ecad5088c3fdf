// The clock's days, the settings store's file, the data directory's fallback and the end
// of an HTTP body.
#include "HostilePeers.h"
#include "platform/Clock.h"
#include "platform/PrivateFiles.h"
#include "platform/ProgramDirectory.h"
#include "platform/SecretStore.h"
#include "platform/QtHttpClient.h"
#include "platform/SettingsStore.h"

#include <algorithm>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
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
    static QByteArray Read(const QString& path)
    {
        QFile file(path);
        return file.open(QFile::ReadOnly) ? file.readAll() : QByteArray("<none>");
    }

private Q_SLOTS:
    // Before any QSettings exists, which fixes the user's configuration folder for the process.
    void initTestCase()
    {
        qputenv("XDG_CONFIG_HOME", m_home.filePath("config").toUtf8());
        qputenv("XDG_DATA_HOME", m_home.filePath("data").toUtf8());
    }

    // The store the program uses when nobody names a file: Brevilo.conf, as the README says; the
    // .ini of earlier builds is taken over once, and left as it was.
    void defaultStoreIsTheConfFile()
    {
        const QString conf = m_home.filePath("config/Brevilo/Brevilo.conf");
        const QString ini = m_home.filePath("config/Brevilo/Brevilo.ini");
        const QByteArray oldFile = "[Address]\nSMTP=old.example.org\nTempoAttesa=45\n";
        QVERIFY(Write(ini, oldFile));
        {
            QtSettingsStore store;
            QCOMPARE(store.ReadSetting("Brevilo", "Address", "SMTP", {}), "old.example.org");
            store.WriteSetting("Brevilo", "Address", "From", "me@example.org");
            QVERIFY(store.Sync());
        }
        QVERIFY(Read(conf).contains("SMTP=old.example.org") && Read(conf).contains("From=me@example.org"));
        QCOMPARE(Read(ini), oldFile);
        // From now on the .conf is the store: a hand edit there is read, the .ini no longer.
        QVERIFY(Write(conf, "[Address]\nSmsGateway=sms.example.org\n"));
        QVERIFY(Write(ini, "[Address]\nSmsGateway=stale.example.org\n"));
        QCOMPARE(QtSettingsStore().ReadSetting("Brevilo", "Address", "SmsGateway", {}), "sms.example.org");
    }

    // The fraction of the day is wall-clock time: on the days clocks change, 10:00 stays 10:00.
    void wallClockOnChangeDays()
    {
        const QTimeZone rome("Europe/Rome");
        QVERIFY(rome.isValid());
        for (const QDate date : {QDate(2024, 10, 27), QDate(2024, 3, 31), QDate(2024, 6, 1)}) {
            for (const QTime time : {QTime(10, 0), QTime(1, 59, 59), QTime(23, 59, 59, 999)}) {
                const double days = ToDays(QDateTime(date, time, rome));
                QCOMPARE(FromDays(days, rome), QDateTime(date, time, rome));
                QCOMPARE(FromDays(days, QTimeZone::utc()).time(), time);
            }
        }
    }

    void daysRoundTrip()
    {
        // Before the epoch the fraction still counts forward from midnight.
        const std::pair<QDateTime, double> rows[] = {{QDateTime(QDate(1899, 12, 29), QTime(18, 0)), -0.25},
                                                     {QDateTime(QDate(2026, 12, 6), QTime(6, 0)), 46362.25}};
        for (const auto& [time, days] : rows) {
            QCOMPARE(ToDays(time), days);
            QCOMPARE(FromDays(days), time);
        }
    }

    void settingsStore()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("Brevilo.conf"), value = "àè, ; \"quoted\"";
        QFile file(path);
        QVERIFY(file.open(QFile::WriteOnly) && file.write("[Address]\nSMTP=a, b, c\n") > 0 && file.flush());
        QtSettingsStore store(path);
        // A list in the hand-edited file reads as missing, like an absent key.
        QCOMPARE(store.ReadSetting("Brevilo", "Address", "SMTP", "default"), "default");
        QCOMPARE(store.ReadSetting("Brevilo", "News", "Dest0", "none"), "none");
        store.WriteSetting("Brevilo", "News", "Dest0", value);
        QVERIFY(store.Sync());
        QCOMPARE(QtSettingsStore(path).ReadSetting("Brevilo", "News", "Dest0", QString()), value);
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
            QVERIFY(::chown(QFile::encodeName(dir.path()).constData(), ::geteuid(), ::getegid()) == 0);
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
        QFETCH(bool, trusted);
        if (owner >= 0 && ::geteuid() != 0)
            QSKIP("only root can give a file to another user");
        QTemporaryDir dir;
        // A program copied into a folder of its own finds the module in its ../lib/…/brevilo,
        // never beside itself, and never a file without the suffix.
        const QStringList candidates = SecretStoreModuleCandidates(dir.filePath("bin"));
        for (const QString& candidate : candidates)
            QVERIFY2(!candidate.startsWith(dir.filePath("bin")) && candidate.endsWith(".so"), qPrintable(candidate));
        const auto relocated = std::find_if(candidates.begin(), candidates.end(), [&](const QString& c) {
            return c.startsWith(dir.filePath("lib/")) && c.endsWith("/brevilo/brevilo_keychain.so");
        });
        QVERIFY(relocated != candidates.end());
        const QString module = *relocated;
        QVERIFY(Write(module, "not a library"));
        QVERIFY(::chmod(QFile::encodeName(QFileInfo(module).path()).constData(), folderMode) == 0);
        QVERIFY(::chmod(QFile::encodeName(module).constData(), fileMode) == 0);
        if (owner >= 0)
            QVERIFY(::chown(QFile::encodeName(module).constData(), owner, owner) == 0);
        QCOMPARE(TrustedForCode(module), trusted);
    }

    // Under the usual umask the settings file and its folder are still the user's alone, also
    // when a file of an earlier run was readable by all; what start-up tightens, it tightens
    // only for files the user owns.
    void privateModes()
    {
        const mode_t old = ::umask(022);
        QTemporaryDir dir;
        const QString conf = dir.filePath("config/Brevilo/Brevilo.conf");
        {
            QtSettingsStore store(conf);
            store.WriteSetting("Brevilo", "Address", "SMTP", "mail.example.org");
            QVERIFY(store.Sync());
        }
        QCOMPARE(Mode(conf), 0600);
        QCOMPARE(Mode(dir.filePath("config/Brevilo")), 0700);
        const QString shown = dir.filePath("old/outbox/a.json"), foreign = dir.filePath("old/outbox/b.json");
        QVERIFY(Write(shown, "{}") && Write(foreign, "{}"));
        const bool root = ::geteuid() == 0; // only root can give a file to another user
        if (root)
            QVERIFY(::chown(QFile::encodeName(foreign).constData(), 65534, 65534) == 0);
        TightenOwnModes({dir.filePath("old")});
        QCOMPARE(Mode(shown), 0600);
        QCOMPARE(Mode(dir.filePath("old/outbox")), 0700);
        if (root)
            QCOMPARE(Mode(foreign), 0644);
        ::umask(old);
    }

    // A news host may be "https://host": the page comes over TLS with its certificate verified
    // (no question: an unverified one is a failed request). An http page that redirects to https
    // of the same host is followed there, to another host never.
    void httpsPages_data()
    {
        QTest::addColumn<QString>("host"); // A: trusted TLS, B: untrusted TLS, R: plain redirecting to the Location
        QTest::addColumn<QString>("location");
        QTest::addColumn<QString>("body");
        QTest::newRow("https, verified") << "https://127.0.0.1:A" << "" << "tls page";
        QTest::newRow("https, not verified") << "https://127.0.0.1:B" << "" << "";
        QTest::newRow("http to https of the same host") << "127.0.0.1:R" << "https://127.0.0.1:A/" << "tls page";
        QTest::newRow("http to https of another host") << "127.0.0.1:R" << "https://localhost:A/" << "";
        QTest::newRow("https back to http") << "https://127.0.0.1:A" << "http://127.0.0.1:R/" << "";
    }
    void httpsPages()
    {
        QFETCH(QString, host);
        QFETCH(QString, location);
        QTemporaryDir dir;
        QList<QSslConfiguration> tls;
        for (const char* name : {"a", "b"}) {
            const QString cert = dir.filePath(QString(name) + ".pem"), key = dir.filePath(QString(name) + ".key");
            QProcess openssl;
            openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                                      "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost", "-keyout", key, "-out", cert});
            QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
            QSslConfiguration c = QSslConfiguration::defaultConfiguration();
            c.setLocalCertificate(QSslCertificate(Read(cert)));
            c.setPrivateKey(QSslKey(Read(key), QSsl::Rsa));
            tls.append(c);
        }
        const QSslConfiguration saved = QSslConfiguration::defaultConfiguration();
        QSslConfiguration trusting = saved;
        trusting.addCaCertificate(tls[0].localCertificate()); // A is vouched for, B is not
        QSslConfiguration::setDefaultConfiguration(trusting);

        QSslServer a, b;
        QTcpServer r;
        a.setSslConfiguration(tls[0]);
        b.setSslConfiguration(tls[1]);
        const auto serve = [](QTcpServer& server, std::function<QByteArray()> response) {
            QObject::connect(&server, &QTcpServer::pendingConnectionAvailable, &server, [&server, response] {
                while (QTcpSocket* socket = server.nextPendingConnection()) {
                    QObject::connect(socket, &QTcpSocket::readyRead, socket, [socket, response] {
                        if (socket->peek(64 * 1024).contains("\r\n\r\n")) {
                            socket->readAll();
                            socket->write(response());
                            socket->disconnectFromHost();
                        }
                    });
                }
            });
            QVERIFY(server.listen(QHostAddress::LocalHost));
        };
        const auto page = [](const QByteArray& body) {
            return "HTTP/1.1 200 OK\r\nContent-Length: " + QByteArray::number(body.size()) + "\r\nConnection: close\r\n\r\n" + body;
        };
        const auto ports = [&](QString text) {
            return text.replace(":A", ":" + QString::number(a.serverPort()))
                .replace(":B", ":" + QString::number(b.serverPort()))
                .replace(":R", ":" + QString::number(r.serverPort()));
        };
        serve(a, [&] { return !location.startsWith("http:") ? page("tls page") : "HTTP/1.1 301 Moved\r\nLocation: " + ports(location).toUtf8()
                                                                       + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"; });
        serve(b, [&] { return page("tls page"); });
        serve(r, [&] { return location.startsWith("https") ? "HTTP/1.1 301 Moved\r\nLocation: " + ports(location).toUtf8()
                                                                 + "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"
                                                           : page("plain page"); });
        QtHttpClient client(20000, 100000);
        QSignalSpy ended(&client, &IHttpClient::stateChanged);
        client.StartRequest(ports(host), {});
        QTRY_VERIFY_WITH_TIMEOUT(!client.IsExecuting(), 20000);
        QSslConfiguration::setDefaultConfiguration(saved);
        QCOMPARE(client.RequestHost(), ports(host)); // exactly as given, for the extractor's choice
        QTEST(client.ReadBody(100000), "body");
    }

    // The body's last character survives, also when the reply ends in the middle of it (as
    // U+FFFD) or the limit cuts the body; a character split between two packets stays whole.
    void httpBodyEnd_data()
    {
        QTest::addColumn<QByteArrayList>("packets");
        QTest::addColumn<qsizetype>("limit");
        QTest::addColumn<QString>("body");
        const qsizetype normal = QtHttpClient::kDefaultBodyLimit;
        QTest::newRow("two-byte character cut at the end") << QByteArrayList{"Citt\xc3"} << normal << u"Citt\ufffd"_s;
        QTest::newRow("character split between packets") << QByteArrayList{"Citt\xc3", "\xa0"} << normal << u"Citt\u00e0"_s;
        QTest::newRow("cut character is the last within the limit") << QByteArrayList{"Citt\xc3"} << qsizetype(5) << u"Citt\ufffd"_s;
        QTest::newRow("limit cuts before a cut character") << QByteArrayList{"Citt\xc3\xa0 \xc3"} << qsizetype(5) << u"Citt\u00e0"_s;
    }
    void httpBodyEnd()
    {
        QFETCH(QByteArrayList, packets);
        QFETCH(qsizetype, limit);
        testsupport::ScriptedPeer server({}, testsupport::AnswerHttp([&packets](QTcpSocket& s) {
            s.write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=utf-8\r\n\r\n");
            for (qsizetype i = 0; i < packets.size(); ++i) {
                QTimer::singleShot(100 * int(i), &s, [&s, &packets, i] {
                    s.write(packets[i]);
                    if (i + 1 == packets.size())
                        s.disconnectFromHost();
                });
            }
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
