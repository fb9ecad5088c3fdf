// The real program as a child process, on its real default files under a temporary home:
// the settings file it reads, and a save of the run's edits when the system ends it.
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

namespace {

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<none>");
}

bool Write(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// True once the process has its handler for the signal in place (Linux's view of it).
bool Catches(qint64 pid, int signalNumber)
{
    const QByteArray status = Read(QStringLiteral("/proc/%1/status").arg(pid));
    const QRegularExpressionMatch m = QRegularExpression("SigCgt:\\s*([0-9a-f]+)").match(QString::fromLatin1(status));
    return m.hasMatch() && (m.captured(1).toULongLong(nullptr, 16) >> (signalNumber - 1)) & 1;
}

} // namespace

class TestProcess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A hand-written settings file where the README says it lives is read; the end by the system
    // (a signal) saves settings and address book as a close does, without asking. The program's
    // load converts what it reads (12.5 seconds become 12, blanks around the comma go), so the
    // files after the signal show that the values were used and saved.
    void systemEndSavesTheRun_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<QString>("settingsFile");
        QTest::newRow("SIGTERM, Brevilo.conf") << SIGTERM << "Brevilo.conf";
        QTest::newRow("SIGHUP, Brevilo.conf") << SIGHUP << "Brevilo.conf";
        QTest::newRow("SIGINT, Brevilo.ini of an earlier build") << SIGINT << "Brevilo.ini";
    }
    void systemEndSavesTheRun()
    {
        QFETCH(int, signalNumber);
        QFETCH(QString, settingsFile);
        QTemporaryDir root;
        // A copy of the program, so that the address book beside it is this test's own.
        const QString program = root.filePath("bin/brevilo");
        QVERIFY(QDir().mkpath(root.filePath("bin")) && QFile::copy(qEnvironmentVariable("BREVILO_BINARY"), program));
        const QString configDir = root.filePath("config/Brevilo/");
        const QByteArray settings = "[Address]\nSMTP=mail.example.invalid\nTempoAttesa=12.5\nName=Mario\n";
        QVERIFY(Write(configDir + settingsFile, settings));
        QVERIFY(Write(root.filePath("bin/rubrica.txt"), " Anna , anna@example.invalid\r\n"));

        QProcess brevilo;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("HOME", root.filePath("home"));
        env.insert("XDG_CONFIG_HOME", root.filePath("config"));
        env.insert("XDG_DATA_HOME", root.filePath("data"));
        brevilo.setProcessEnvironment(env);
        brevilo.start(program, {});
        QVERIFY2(brevilo.waitForStarted(), qPrintable(brevilo.errorString()));
        QVERIFY(QTest::qWaitFor([&] { return Catches(brevilo.processId(), signalNumber); }, 20000));
        ::kill(static_cast<pid_t>(brevilo.processId()), signalNumber);
        QVERIFY(brevilo.waitForFinished(20000));
        QCOMPARE(brevilo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(brevilo.exitCode(), 0);

        const QByteArray conf = Read(configDir + "Brevilo.conf");
        for (const char* line : {"SMTP=mail.example.invalid", "TempoAttesa=12\n", "Name=Mario"})
            QVERIFY2(conf.contains(line), conf.constData());
        if (settingsFile != "Brevilo.conf")
            QCOMPARE(Read(configDir + settingsFile), settings); // the old file is left as it was
        QCOMPARE(Read(root.filePath("bin/rubrica.txt")), "Anna,anna@example.invalid\r\n");
    }
};

QTEST_GUILESS_MAIN(TestProcess)
#include "test_process.moc"
