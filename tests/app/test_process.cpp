// The real program as a child process (offscreen), with a temporary HOME and XDG folders, against
// Debian's aiosmtpd on the loopback: killed while messages wait it loses none and sends none twice;
// a second start ends at once, touching nothing, while the first keeps sending. Also the ways a
// process ends: the lock of the one running copy, the exit question's three buttons, and an end
// by the system (a signal) that saves the run without asking; and the settings file it reads.
#include "LocalSmtpServer.h"
#include "app/QtTranslation.h"
#include "app/SingleInstance.h"
#include "mail/OutboxStore.h"
#include "platform/Clock.h"
#include "platform/QtDialogs.h"

#include <QUuid>
#include <QtTest>
#include <QtWidgets>

#include <csignal>

#include <sys/stat.h>

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

int Mode(const QString& path)
{
    struct stat info{};
    return ::stat(QFile::encodeName(path).constData(), &info) == 0 ? int(info.st_mode & 07777) : -1;
}

// One user's world: HOME, XDG folders, and a copy of the program in a folder of its own, so that
// its log.txt and rubrica.txt land there and not in the build tree.
struct World {
    QTemporaryDir root;
    QString Path(const QString& relative) const { return root.filePath(relative); }
    QString Program() const { return Path("bin/brevilo"); }
    QString DataFolder() const { return Path("data/Brevilo/Brevilo"); }
    QString Outbox() const { return DataFolder() + "/outbox"; }
    QString Lock() const { return DataFolder() + "/brevilo.lock"; }

    // The settings go under both names the store has used unless one is given.
    bool Make(const QByteArray& settings, const QStringList& names = {"Brevilo.ini", "Brevilo.conf"})
    {
        // The runtime folder is private, as the system makes it; the others the program makes itself.
        bool made = QDir(root.path()).mkdir("run", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)
                    && QDir().mkpath(Path("bin")) && QFile::copy(qEnvironmentVariable("BREVILO_BINARY"), Program());
        for (const QString& name : names)
            made = made && Write(Path("config/Brevilo/" + name), settings);
        return made;
    }
    void Start(QProcess& process) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        for (const auto& [name, folder] : QList<std::pair<QString, QString>>{
                 {"HOME", "home"}, {"XDG_DATA_HOME", "data"}, {"XDG_CONFIG_HOME", "config"},
                 {"XDG_CACHE_HOME", "cache"}, {"XDG_RUNTIME_DIR", "run"}})
            env.insert(name, Path(folder));
        process.setProcessEnvironment(env);
        process.start(Program(), {});
    }
    // Name and modification time of every file below the folder, to see that nothing changed.
    QStringList Snapshot() const
    {
        QStringList files;
        for (QDirIterator it(root.path(), QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();)
            if (const QFileInfo info(it.next()); !info.fileName().startsWith("brevilo.lock"))
                files << info.filePath() + " " + QString::number(info.lastModified().toMSecsSinceEpoch());
        files.sort();
        return files;
    }
};

// A message waiting in the outbox as an earlier run left it; its file, or nothing on failure.
QString Queue(const QString& outbox, const QString& nick, qint64 sequence)
{
    mail::CMessaggio record;
    record.mailUid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record.mailTo = nick + "@example.invalid";
    record.mailTimeCreated = platform::SystemClock().Now();
    record.mailSequence = sequence;
    mail::OutboxStore store(outbox);
    return store.Write(record) ? store.PathFor(record.mailUid) : QString();
}

} // namespace

class TestProcess : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Two messages wait when the program is killed with SIGKILL; the next start sends each once.
    // A third start while that one runs ends with status 0 and changes no file, and the running
    // copy goes on sending.
    void killedWhileTwoWaitThenASecondStart()
    {
        QTemporaryDir received;
        testsupport::LocalSmtpServer server;
        QVERIFY2(server.Start(received.path()), qPrintable(server.Output()));
        World world;
        QVERIFY(world.Make("[Address]\nSMTP=" + server.Setting().toUtf8() + "\nFrom=io@example.invalid\nTempoAttesa=6\n"));
        QVERIFY(!Queue(world.Outbox(), "ann", 1).isEmpty() && !Queue(world.Outbox(), "bea", 2).isEmpty());
        QProcess first;
        world.Start(first);
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(world.Lock()), 15000);
        first.kill(); // SIGKILL: no unload, no word
        QVERIFY(first.waitForFinished(5000));
        // The next copy makes an empty address book while it loads: the sign that it has loaded.
        const QString rubrica = world.Path("bin/rubrica.txt");
        QFile::remove(rubrica);

        QProcess second;
        world.Start(second);
        // The dead copy's lock is taken over; the socket listens before the window loads, and the
        // third copy below ends only if this one answers on it.
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(rubrica), 15000);
        QCOMPARE(QDir(world.Path("run")).entryList({"brevilo-*"}, QDir::System).size(), 1); // its socket, in private
        const QStringList before = world.Snapshot();
        QProcess third;
        world.Start(third);
        QVERIFY(third.waitForFinished(10000));
        QCOMPARE(third.exitStatus(), QProcess::NormalExit);
        QCOMPARE(third.exitCode(), 0);
        QCOMPARE(world.Snapshot(), before);
        QVERIFY(QDir(received.path()).entryList({"*.eml"}).isEmpty()); // nothing due yet

        QTRY_COMPARE_WITH_TIMEOUT(QDir(received.path()).entryList({"*.json"}).size(), 2, 30000);
        QTRY_VERIFY_WITH_TIMEOUT(QDir(world.Outbox()).entryList({"*.json"}).isEmpty(), 10000);
        QTest::qWait(2500); // time for a second sending, should there be one
        QCOMPARE(QDir(received.path()).entryList({"*.json"}).size(), 2);
        QCOMPARE(Read(world.Path("bin/log.txt")).count('\n'), 2); // one entry each
        second.terminate();
        QVERIFY(second.waitForFinished(5000));
    }

    // In one process: the second instance finds the lock held, and its call brings the first
    // window back to the front.
    void secondCopyRaisesTheFirstWindow()
    {
        QTemporaryDir dir;
        app::SingleInstance firstCopy(dir.path());
        QVERIFY(firstCopy.Acquire());
        QWidget window;
        window.showMinimized();
        firstCopy.SetWindow(&window);
        app::SingleInstance secondCopy(dir.path());
        QVERIFY(!secondCopy.Acquire());
        secondCopy.NotifyFirstCopy(); // the answer that ends the second copy is the real run's check
        QTRY_VERIFY(window.isVisible() && !(window.windowState() & Qt::WindowMinimized));
        // The socket lives in a folder only this user can enter (the real run finds it in the
        // runtime folder): a runtime folder others may enter is not used.
        const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
        QVERIFY(QFile::setPermissions(dir.path(), QFile::Permissions(0x7755)));
        QCOMPARE(app::SingleInstance::SocketFolder("/elsewhere"), "/elsewhere"); // others may enter it
        qputenv("XDG_RUNTIME_DIR", runtime);
        // A folder where no lock can be made (here: a file stands in its way) lets the program start.
        QFile blocker(dir.filePath("file"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        QVERIFY(app::SingleInstance(blocker.fileName() + "/data").Acquire());
    }

    // The real exit question in Italian, as the program loads Qt's translation, answered by the
    // keyboard: Return keeps the messages ("Invia al prossimo avvio"), Escape is No, and Tab
    // reaches the translated Sì.
    void exitQuestionButtons()
    {
        QVERIFY(app::LoadQtTranslation(*QCoreApplication::instance()));
        platform::QtDialogs dialogs;
        using A = platform::IDialogs::Answer;
        const auto focused = [] { return qobject_cast<QPushButton*>(QApplication::focusWidget()); };
        // The key, or the button that Tab goes to before Space.
        for (const auto& [how, expected] : QList<std::pair<QString, A>>{{"Return", A::Third}, {"Escape", A::No}, {"&Sì", A::Yes}}) {
            QTimer poll; // the box is modal: answer it from the event loop it runs
            QObject::connect(&poll, &QTimer::timeout, [&, how = how] {
                if (!qobject_cast<QMessageBox*>(QApplication::activeModalWidget()) || !focused())
                    return;
                poll.stop();
                for (int i = 0; i < 5 && how == "&Sì" && focused() && focused()->text() != how; ++i)
                    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                // A button not found (say, an untranslated caption) answers Escape, which no such row expects.
                const bool found = focused() && focused()->text() == how;
                QTest::keyClick(QApplication::focusWidget(), how == "Return" ? Qt::Key_Return : found ? Qt::Key_Space : Qt::Key_Escape);
            });
            poll.start(10);
            QCOMPARE(dialogs.AskYesNoOr("Ci sono dei messaggi accodati. Vuoi uscire senza inviarli?", "Invia al prossimo avvio"), expected);
        }
    }

    // A hand-written settings file where the README says it lives is read; the end by the system
    // (a signal) saves settings and address book as a close does, without asking. The program's
    // load converts what it reads (12.5 seconds become 12, blanks around the comma go), so the
    // files after the signal show that the values were used and saved.
    // The start also meets what an earlier run or another host left: a lock no running copy
    // answers for (written on another host sharing the home) is taken over; under the usual umask
    // what was left readable by all is tightened and everything written is the user's alone. On
    // Security=none neither the TLS backend nor QtKeychain is loaded, and the process makes no
    // core file, since a password may be in its memory.
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
        const mode_t oldMask = ::umask(022);
        World world;
        const QByteArray settings = "[Address]\nSMTP=mail.example.invalid\nTempoAttesa=12.5\nName=Mario\n";
        QVERIFY(world.Make(settings, {settingsFile}));
        const QString record = Queue(world.Outbox(), "anna", 1), rubrica = world.Path("bin/rubrica.txt");
        QVERIFY(Write(rubrica, " Anna , anna@example.invalid\r\n") && Write(world.Lock(), "1\nbrevilo\nother-host.example\n"));
        for (const QString& path : {record, world.Outbox(), world.DataFolder(), world.Path("data/Brevilo")})
            QVERIFY(::chmod(QFile::encodeName(path).constData(), path == record ? 0644 : 0755) == 0);
        qunsetenv("DBUS_SESSION_BUS_ADDRESS");
        QProcess brevilo;
        world.Start(brevilo);
        ::umask(oldMask);
        // The signal handlers are in place before the lock is taken.
        QTRY_VERIFY_WITH_TIMEOUT(Read(world.Lock()).startsWith(QByteArray::number(brevilo.processId()) + "\n"), 15000);
        QTest::qWait(1500); // the window is up and its first timers have run
        const QString proc = QStringLiteral("/proc/%1/").arg(brevilo.processId());
        const QByteArray loaded = Read(proc + "maps");
        QVERIFY(loaded.contains("libQt6Network")); // the maps were read
        for (const char* lib : {"libssl", "qopensslbackend", "keychain", "libsecret"})
            QVERIFY2(!loaded.contains(lib), lib);
        QVERIFY(QRegularExpression("Max core file size\\s+0\\s+0\\s").match(QString::fromLatin1(Read(proc + "limits"))).hasMatch());
        ::kill(static_cast<pid_t>(brevilo.processId()), signalNumber);
        QVERIFY(brevilo.waitForFinished(20000));
        QCOMPARE(brevilo.exitStatus(), QProcess::NormalExit);
        QCOMPARE(brevilo.exitCode(), 0);

        const QString conf = world.Path("config/Brevilo/Brevilo.conf");
        for (const char* line : {"SMTP=mail.example.invalid", "TempoAttesa=12\n", "Name=Mario"})
            QVERIFY(Read(conf).contains(line));
        if (settingsFile != "Brevilo.conf")
            QCOMPARE(Read(world.Path("config/Brevilo/" + settingsFile)), settings); // the old file is left as it was
        QCOMPARE(Read(rubrica), "Anna,anna@example.invalid\r\n");
        for (const auto& [path, mode] : QList<std::pair<QString, int>>{{rubrica, 0600}, {conf, 0600}, {world.Path("config/Brevilo"), 0700},
                                                                      {world.DataFolder(), 0700}, {world.Outbox(), 0700}, {record, 0600}})
            QCOMPARE(Mode(path), mode);
    }
};

QTEST_MAIN(TestProcess)
#include "test_process.moc"
