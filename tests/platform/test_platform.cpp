// The clock's days, the settings store's INI file, the data directory's fallback and the end
// of an HTTP body.
#include "HostilePeers.h"
#include "platform/Clock.h"
#include "platform/ProgramDirectory.h"
#include "platform/QtHttpClient.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace platform;
using namespace Qt::StringLiterals;

class TestPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

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
