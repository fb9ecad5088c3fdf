#include "CommandLine.h"
#include "QtTranslation.h"
#include "SingleInstance.h"
#include "frmMain.h"
#include "platform/PrivateFiles.h"
#include "platform/ProgramDirectory.h"
#include "platform/UnixSignals.h"

#include <QApplication>
#include <QFileInfo>
#include <QMessageBox>
#include <QSettings>

#include <csignal>
#include <memory>

#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>

namespace {
// A password lives in this process's memory while a message goes out: no core file may carry
// it to disk, and no other process of the user may read the memory through ptrace or /proc.
void KeepMemoryPrivate()
{
    const rlimit none{0, 0};
    ::setrlimit(RLIMIT_CORE, &none);
#ifndef __SANITIZE_ADDRESS__ // the leak checker of a sanitizer build attaches to the process at exit
    ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
#endif
}

// What earlier runs made under a looser umask becomes private once, silently.
void TightenEarlierFiles(const QString& userData)
{
    const QString programData = platform::DataDirectory(platform::ProgramDirectory());
    const QString settingsFolder = QFileInfo(QSettings(QSettings::NativeFormat, QSettings::UserScope,
                                                       QApplication::organizationName(), QApplication::applicationName())
                                                 .fileName())
                                       .path();
    platform::TightenOwnModes({QFileInfo(userData).path(), settingsFolder, programData + QStringLiteral("/rubrica.txt"),
                               programData + QStringLiteral("/log.txt")});
}
} // namespace

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = app::HandleCommandLine(argc, argv))
        return *status; // --help, --version or a wrong argument: no window
    KeepMemoryPrivate();
    // Whatever the program creates (outbox, address book, log, settings, lock, socket) is the user's alone.
    ::umask(S_IRWXG | S_IRWXO);
    // Before the window exists, so that a logout or kill arriving during start-up still ends in a save.
    platform::UnixSignals::Catch({SIGTERM, SIGHUP, SIGINT});
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationVersion(QStringLiteral(BREVILO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(BREVILO_APP_ID));
    app::LoadQtTranslation(application);

    const QString userData = platform::UserDataDirectory();
    TightenEarlierFiles(userData);
    app::SingleInstance instance(userData);
    std::unique_ptr<app::frmMain> window;
    std::unique_ptr<platform::UnixSignals> systemEnd;
    auto open = [&] {
        window = std::make_unique<app::frmMain>();
        instance.SetWindow(window.get());
        systemEnd = std::make_unique<platform::UnixSignals>();
        QObject::connect(systemEnd.get(), &platform::UnixSignals::received, window.get(), &app::frmMain::EndBySystem);
        window->show();
    };
    if (instance.Acquire()) {
        open();
        return QApplication::exec();
    }
    // Another copy may run: when it answers it shows itself, and this one leaves its outbox,
    // address book and settings alone. A lock whose copy does not answer is taken over.
    QObject::connect(&instance, &app::SingleInstance::done, &application, [] { QApplication::exit(0); },
                     Qt::QueuedConnection);
    QObject::connect(&instance, &app::SingleInstance::noAnswer, &application, [&] {
        if (instance.TakeOver()) {
            open();
            return;
        }
        QMessageBox::warning(nullptr, QStringLiteral("Brevilo"),
                             QStringLiteral("Un'altra copia di Brevilo tiene il blocco %1 ma non risponde.\n"
                                            "Chiudila, oppure elimina quel file, e avvia di nuovo il programma.")
                                 .arg(instance.LockPath()));
        QApplication::exit(1);
    });
    instance.NotifyFirstCopy();
    return QApplication::exec();
}
