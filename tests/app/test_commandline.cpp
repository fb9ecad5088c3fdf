// The real binary's command line, as a terminal or a package's tooling meets it: no display,
// no platform plugin chosen, and an answer on the right stream with the right exit status.
#include <QProcess>
#include <QTest>

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void answers_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // a regular expression over the whole of standard output
        QTest::addColumn<QString>("err"); // the same over standard error

        const QString version = QStringLiteral("^Brevilo " BREVILO_VERSION "\\n$");
        const QString help = QStringLiteral("(?s)^Usage: \\S*brevilo \\[options\\]\\n.*-h, --help.*"
                                            "-v, --version.*$");
        const QString nothing = QStringLiteral("^$");
        auto refused = [](const QString& why) { return "^brevilo: " + why + "\\nTry 'brevilo --help' [^\\n]*\\n$"; };
        QTest::newRow("--version") << QStringList{"--version"} << 0 << version << nothing;
        QTest::newRow("-v") << QStringList{"-v"} << 0 << version << nothing;
        QTest::newRow("--help") << QStringList{"--help"} << 0 << help << nothing;
        QTest::newRow("-h") << QStringList{"-h"} << 0 << help << nothing;
        QTest::newRow("--bogus") << QStringList{"--bogus"} << 1 << nothing << refused("Unknown option 'bogus'\\.");
        QTest::newRow("unknown option beside --version")
            << QStringList{"--version", "--bogus"} << 1 << nothing << refused("Unknown option 'bogus'\\.");
        QTest::newRow("an unknown single-dash word, named whole")
            << QStringList{"-bogus"} << 1 << nothing << refused("Unknown option 'bogus'\\.");
        // Qt's own options are left to Qt (a session manager restarts with -session <id>).
        QTest::newRow("Qt's -session and -platform beside --version")
            << QStringList{"-session", "1234", "-platform", "offscreen", "--version"} << 0 << version << nothing;
        QTest::newRow("a file to open") << QStringList{"rubrica.txt"} << 1 << nothing
                                        << refused("unexpected argument 'rubrica\\.txt'\\.");
    }

    void answers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);

        // Were a window opened, Qt would find no display here and abort.
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            env.remove(QString::fromLatin1(name));
        QProcess brevilo;
        brevilo.setProcessEnvironment(env);
        brevilo.start(qEnvironmentVariable("BREVILO_BINARY"), arguments);
        QVERIFY2(brevilo.waitForFinished(20000), "the program did not end by itself");
        const QString stdOut = QString::fromUtf8(brevilo.readAllStandardOutput());
        const QString stdErr = QString::fromUtf8(brevilo.readAllStandardError());
        QCOMPARE(brevilo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(brevilo.exitCode(), status);
        QVERIFY2(QRegularExpression(out).match(stdOut).hasMatch(), qPrintable("stdout: " + stdOut));
        QVERIFY2(QRegularExpression(err).match(stdErr).hasMatch(), qPrintable("stderr: " + stdErr));
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
