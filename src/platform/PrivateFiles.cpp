#include "PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QFileDevice>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {
constexpr mode_t kPrivateFolder = S_IRWXU;

bool Stat(const QString& path, struct stat& info)
{
    return ::lstat(QFile::encodeName(path).constData(), &info) == 0;
}

void Tighten(const QString& path, int depth)
{
    struct stat info{};
    // Links are left alone: they may point at what is not the program's.
    if (!Stat(path, info) || info.st_uid != ::geteuid() || S_ISLNK(info.st_mode))
        return;
    const QByteArray name = QFile::encodeName(path);
    if (S_ISDIR(info.st_mode)) {
        // A folder that is already the user's alone was tightened by an earlier start (or made
        // private): nobody else can reach what it holds, so a start with thousands of queued
        // records does not stat each of them again.
        if ((info.st_mode & (S_IRWXG | S_IRWXO)) == 0)
            return;
        ::chmod(name.constData(), info.st_mode & S_IRWXU);
        if (depth <= 0)
            return;
        const QStringList entries = QDir(path).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::System);
        for (const QString& entry : entries)
            Tighten(path + QLatin1Char('/') + entry, depth - 1);
    } else if (S_ISREG(info.st_mode) && (info.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        ::chmod(name.constData(), info.st_mode & S_IRWXU);
    }
}
} // namespace

bool MakePrivateFolder(const QString& path)
{
    const QString clean = QDir::cleanPath(QDir(path).absolutePath());
    if (QFileInfo(clean).isDir())
        return true;
    const QString parent = QFileInfo(clean).path();
    if (parent != clean && !MakePrivateFolder(parent))
        return false;
    const QByteArray name = QFile::encodeName(clean);
    if (::mkdir(name.constData(), kPrivateFolder) != 0)
        return QFileInfo(clean).isDir(); // made meanwhile by someone else: it is not ours to change
    // mkdir leaves out what the umask forbids; it never adds: 0700 exactly, whatever the umask.
    ::chmod(name.constData(), kPrivateFolder);
    return true;
}

void MakePrivate(QFileDevice& file)
{
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
}

void TightenOwnModes(const QStringList& paths)
{
    for (const QString& path : paths)
        if (!path.isEmpty())
            Tighten(path, 4);
}

bool OwnedAndNotWritableByOthers(const QString& path)
{
    struct stat info{};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return false;
    return (info.st_uid == 0 || info.st_uid == ::geteuid()) && (info.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

} // namespace platform
