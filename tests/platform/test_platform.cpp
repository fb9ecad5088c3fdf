// The clock's days, the settings store's file, the data directory's fallback and the end
// of an HTTP body.
#include "HostilePeers.h"
#include "platform/Clock.h"
#include "platform/ProgramDirectory.h"
#include "platform/QtHttpClient.h"
#include "platform/SettingsStore.h"

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

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
        // Installed by the package: the per-user folder, even for root, who can write in /usr/bin.
        QCOMPARE(DataDirectory("/usr/bin"), fallback);
        QCOMPARE(DataDirectory("/usr/local/bin/"), fallback);
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
