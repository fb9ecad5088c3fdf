#pragma once
// What the fuzz targets share: a broken invariant ends the run with its name, and scratch files
// go to tmpfs when there is one (the atomic saves sync to disk, which would slow a run a
// hundredfold).
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstddef>
#include <cstdint>
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

// The input as the whole content of the file at path.
inline void WriteInput(const QString& path, const uint8_t* data, size_t size)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        Fail("the input cannot be written");
}
