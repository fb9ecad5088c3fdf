#include "CommandLine.h"
#include "QtTranslation.h"
#include "SingleInstance.h"
#include "frmMain.h"
#include "platform/ProgramDirectory.h"
#include "platform/UnixSignals.h"

#include <QApplication>

#include <csignal>

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = app::HandleCommandLine(argc, argv))
        return *status; // --help, --version or a wrong argument: no window
    // Before the window exists, so that a logout or kill arriving during start-up still ends in a save.
    platform::UnixSignals::Catch({SIGTERM, SIGHUP, SIGINT});
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationVersion(QStringLiteral(BREVILO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(BREVILO_APP_ID));
    app::LoadQtTranslation(application);

    app::SingleInstance instance(platform::UserDataDirectory());
    if (!instance.Acquire()) {
        // Another copy runs: show it, and leave its outbox, address book and settings alone.
        QObject::connect(&instance, &app::SingleInstance::done, &application, [] { QApplication::exit(0); },
                         Qt::QueuedConnection);
        instance.NotifyFirstCopy();
        return QApplication::exec();
    }
    app::frmMain window;
    instance.SetWindow(&window);
    platform::UnixSignals systemEnd;
    QObject::connect(&systemEnd, &platform::UnixSignals::received, &window, &app::frmMain::EndBySystem);
    window.show();
    return QApplication::exec();
}
