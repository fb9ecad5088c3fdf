#include "ProgramDirectory.h"

#include "PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

#include <unistd.h>

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
bool OwnedByUserAlone(const QString& directory)
{
    const QFileInfo info(directory);
    return info.ownerId() == ::geteuid() && OwnedAndNotWritableByOthers(directory);
}
} // namespace

QString DataDirectory(const QString& programDirectory)
{
    // Beside the program only in a folder of this user's that no one else can write to: in a
    // shared folder another user could read the address book or plant links in place of the files.
    if (!programDirectory.isEmpty() && !IsInstalledLocation(programDirectory) && OwnedByUserAlone(programDirectory)
        && CanCreateFilesIn(programDirectory))
        return programDirectory;
    return UserDataDirectory();
}

QString UserDataDirectory()
{
    const QString directory = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    MakePrivateFolder(directory);
    return directory;
}

} // namespace platform
