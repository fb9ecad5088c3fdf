#include "frmMain.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationName(QStringLiteral("Brevilo"));
    QApplication::setDesktopFileName(QStringLiteral("brevilo"));
    app::frmMain window;
    window.show();
    return QApplication::exec();
}
