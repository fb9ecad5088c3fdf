#include "ProgramDirectory.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace platform {

QString ProgramDirectory()
{
    return QCoreApplication::applicationDirPath();
}

namespace {
// QFileInfo::isWritable trusts permission bits; a read-only mount only shows on a real try.
bool CanCreateFilesIn(const QString& directory)
{
    QTemporaryFile probe(directory + QStringLiteral("/.brevilo-probe-XXXXXX"));
    return probe.open();
}
} // namespace

QString DataDirectory(const QString& programDirectory)
{
    if (!programDirectory.isEmpty() && CanCreateFilesIn(programDirectory))
        return programDirectory;
    return UserDataDirectory();
}

QString UserDataDirectory()
{
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    QDir().mkpath(directory);
    return directory;
}

} // namespace platform
