#pragma once

#include <QString>
#include <QStringList>

class QFileDevice;

namespace platform {

// The program's files hold the user's mail and address book: only the user reads them,
// whatever the umask, and only the user may have put there what the program reads or loads.

// Like QDir::mkpath, but every folder it makes is 0700.
bool MakePrivateFolder(const QString& path);
// 0600 on a file the program has open for writing (for QSaveFile: the file that replaces the old one).
void MakePrivate(QFileDevice& file);
// Files and folders the program owns lose every permission of group and others; folders are
// followed four levels down (Brevilo/Brevilo/outbox/damaged/). Links are left alone. Silent.
void TightenOwnModes(const QStringList& paths);
// True when the path belongs to root or to this user and no one else can write to it.
bool OwnedAndNotWritableByOthers(const QString& path);

} // namespace platform
