// Brevilo's start-up as the program does it, with its data and settings in a scratch folder.
#include "StartupProbe.h"
#include "app/frmMain.h"
#include "platform/SettingsStore.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    QApplication application(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Brevilo"));
    QApplication::setApplicationName(QStringLiteral("Brevilo"));
    const QString scratch = QString::fromLocal8Bit(qgetenv("BREVILO_BENCH_DIR"));
    platform::QtSettingsStore store(scratch + QStringLiteral("/settings.ini"));
    app::frmMainDeps deps;
    deps.store = &store;
    deps.dataDirectory = scratch;
    deps.outboxDirectory = scratch + QStringLiteral("/outbox");
    app::frmMain window(deps);
    new bench::StartupProbe(window);
    window.show();
    return QApplication::exec();
}
