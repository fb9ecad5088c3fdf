#include "platform/Clock.h"
#include "platform/ProgramDirectory.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace platform;

class TestPlatform : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void daysRoundTrip_data()
    {
        QTest::addColumn<QDateTime>("time");
        QTest::addColumn<double>("days");
        QTest::newRow("epoch") << QDateTime(QDate(1899, 12, 30), QTime(0, 0)) << 0.0;
        QTest::newRow("noon a day later") << QDateTime(QDate(1899, 12, 31), QTime(12, 0)) << 1.5;
        QTest::newRow("before the epoch") << QDateTime(QDate(1899, 12, 29), QTime(18, 0)) << -0.25;
        QTest::newRow("2026") << QDateTime(QDate(2026, 12, 6), QTime(6, 0)) << 46362.25;
    }
    void daysRoundTrip()
    {
        QFETCH(QDateTime, time);
        QFETCH(double, days);
        QCOMPARE(ToDays(time), days);
        QCOMPARE(FromDays(days), time);
    }

    void oneSecondIsOneDayIn86400()
    {
        const QDateTime t(QDate(2026, 1, 1), QTime(23, 59, 59));
        QVERIFY(qAbs(ToDays(t.addSecs(1)) - ToDays(t) - 1.0 / kSecondsPerDay) < 1e-9);
    }

    void settingsRoundTripThroughIniFile()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Brevilo.conf"));
        {
            QtSettingsStore store(path);
            QCOMPARE(store.ReadSetting(QStringLiteral("Brevilo"), QStringLiteral("Address"), QStringLiteral("SMTP"),
                                       QStringLiteral("none")),
                     QStringLiteral("none"));
            store.WriteSetting(QStringLiteral("Brevilo"), QStringLiteral("Address"), QStringLiteral("SMTP"),
                               QStringLiteral("mail.example.org"));
            store.WriteSetting(QStringLiteral("Brevilo"), QStringLiteral("News"), QStringLiteral("Dest0"),
                               QStringLiteral("àè, ; \"quoted\""));
            QVERIFY(store.Sync());
        }
        QSettings raw(path, QSettings::IniFormat);
        QCOMPARE(raw.value(QStringLiteral("Address/SMTP")).toString(), QStringLiteral("mail.example.org"));
        QtSettingsStore again(path);
        QCOMPARE(again.ReadSetting(QStringLiteral("Brevilo"), QStringLiteral("News"), QStringLiteral("Dest0"),
                                   QString()),
                 QStringLiteral("àè, ; \"quoted\""));
    }

    void aListInTheFileReadsAsMissing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("Brevilo.conf"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[Address]\nSMTP=a, b, c\n");
        file.close();
        QtSettingsStore store(path);
        QCOMPARE(store.ReadSetting(QStringLiteral("Brevilo"), QStringLiteral("Address"), QStringLiteral("SMTP"),
                                   QStringLiteral("default")),
                 QStringLiteral("default"));
    }

    void dataDirectoryFallsBackWhenProgramDirectoryIsUnusable()
    {
        QTemporaryDir dir;
        QCOMPARE(DataDirectory(dir.path()), dir.path());
        const QString missing = dir.filePath(QStringLiteral("no/such/dir"));
        const QString fallback = DataDirectory(missing);
        QVERIFY(fallback != missing);
        QVERIFY(QFileInfo(fallback).isDir());
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
