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

// /usr belongs to the package manager: even root, who could write there, keeps the data per
// user, so removing the package leaves nothing behind but the user's own files.
bool IsInstalledLocation(const QString& directory)
{
    const QString clean = QDir::cleanPath(directory);
    return clean == QLatin1String("/usr") || clean.startsWith(QLatin1String("/usr/"));
}
} // namespace

QString DataDirectory(const QString& programDirectory)
{
    if (!programDirectory.isEmpty() && !IsInstalledLocation(programDirectory) && CanCreateFilesIn(programDirectory))
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
