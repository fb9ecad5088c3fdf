#include "CommandLine.h"
#include "frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (const std::optional<int> status = app::HandleCommandLine(argc, argv))
        return *status; // --help, --version or a wrong argument: no window
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationVersion(QStringLiteral(BREVILO_VERSION));
    QApplication::setDesktopFileName(QStringLiteral(BREVILO_APP_ID));
    app::frmMain window;
    window.show();
    return QApplication::exec();
}
