// The yardstick: an empty Qt Widgets main window with a menu, shown and nothing else.
#include "StartupProbe.h"

#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QMainWindow window;
    window.menuBar()->addMenu(QStringLiteral("File"));
    window.resize(616, 480);
    new bench::StartupProbe(window);
    window.show();
    return QApplication::exec();
}
