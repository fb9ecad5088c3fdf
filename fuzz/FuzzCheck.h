#pragma once
// What the fuzz targets share: a broken invariant ends the run with its name, and scratch files
// go to tmpfs when there is one (the atomic saves sync to disk, which would slow a run a
// hundredfold).
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <cstdlib>

[[noreturn]] inline void Fail(const char* what)
{
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}

inline QString ScratchTemplate()
{
    const QString shm = QStringLiteral("/dev/shm");
    return (QFileInfo(shm).isWritable() ? shm : QDir::tempPath()) + QStringLiteral("/brevilo-fuzz-XXXXXX");
}
