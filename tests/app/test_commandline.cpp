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
        QTest::addColumn<QString>("out"); // regular expressions over the whole of standard output
        QTest::addColumn<QString>("err"); // and standard error
        const QString version = "^Brevilo " BREVILO_VERSION "\\n$", none = "^$";
        const QString help = "(?s)^Usage: \\S*brevilo \\[options\\]\\n.*-h, --help.*-v, --version.*$";
        const QString refused = "^brevilo: %1\\.\\nTry 'brevilo --help' [^\\n]*\\n$", bogus = refused.arg("Unknown option 'bogus'");
        for (const auto& [option, answer] :
             QList<std::pair<const char*, QString>>{{"--version", version}, {"-v", version}, {"--help", help}, {"-h", help}})
            QTest::newRow(option) << QStringList{option} << 0 << answer << none;
        QTest::newRow("--bogus") << QStringList{"--bogus"} << 1 << none << bogus;
        QTest::newRow("unknown option beside --version") << QStringList{"--version", "--bogus"} << 1 << none << bogus;
        QTest::newRow("an unknown single-dash word, named whole") << QStringList{"-bogus"} << 1 << none << bogus;
        // Qt's own options are left to Qt (a session manager restarts with -session <id>).
        QTest::newRow("Qt's -session and -platform beside --version")
            << QStringList{"-session", "1234", "-platform", "offscreen", "--version"} << 0 << version << none;
        QTest::newRow("a file to open") << QStringList{"rubrica.txt"} << 1 << none << refused.arg("unexpected argument 'rubrica\\.txt'");
    }

    void answers()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, out);
        QFETCH(QString, err);
        // Were a window opened, Qt would find no display here and abort.
        QProcess brevilo;
        brevilo.start("env", QStringList{"-u", "DISPLAY", "-u", "WAYLAND_DISPLAY", "-u", "QT_QPA_PLATFORM",
                                         qEnvironmentVariable("BREVILO_BINARY")} + arguments);
        QVERIFY(brevilo.waitForFinished(20000));
        QTEST(brevilo.exitCode(), "status"); // after a crash, the signal's number
        QVERIFY(QRegularExpression(out).match(QString(brevilo.readAllStandardOutput())).hasMatch());
        QVERIFY(QRegularExpression(err).match(QString(brevilo.readAllStandardError())).hasMatch());
    }
};

QTEST_GUILESS_MAIN(TestCommandLine)
#include "test_commandline.moc"
