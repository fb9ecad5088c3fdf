#include "SingleInstance.h"
#include "frmMain.h"
#include "platform/ProgramDirectory.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationName(QStringLiteral("Brevilo"));
    QApplication::setDesktopFileName(QStringLiteral("brevilo"));

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
    window.show();
    return QApplication::exec();
}
