// The clock's days, the settings store's INI file and the data directory's fallback.
#include "platform/Clock.h"
#include "platform/ProgramDirectory.h"
#include "platform/SettingsStore.h"

#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

using namespace platform;

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
        // Installed by the package: the per-user folder, even for root, who can write in /usr/bin.
        QCOMPARE(DataDirectory("/usr/bin"), fallback);
        QCOMPARE(DataDirectory("/usr/local/bin/"), fallback);
    }
};

QTEST_GUILESS_MAIN(TestPlatform)
#include "test_platform.moc"
