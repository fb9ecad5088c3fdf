#pragma once

#include <QString>

namespace platform {

// The directory that holds the program's executable.
QString ProgramDirectory();

// Where log.txt and rubrica.txt live: the given program directory when it is this user's own,
// writable by no one else, writable and not under /usr; otherwise the per-user data directory
// (an installed program keeps nothing beside itself, even when root runs it).
QString DataDirectory(const QString& programDirectory);

// The per-user data directory, made 0700 when missing: what belongs to the user and not to the
// installation (the outbox, the lock of the running copy).
QString UserDataDirectory();

} // namespace platform
