// Arbitrary bytes as rubrica.txt: loading never crashes, and what a save writes reads back
// as the same entries (the second round trip is exact; the first may trim blanks).
#include "app/AddressBook.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // tmpfs when there is one: the atomic save syncs to disk, which would slow the run a hundredfold.
    static QTemporaryDir dir(QFileInfo(QStringLiteral("/dev/shm")).isWritable()
                                 ? QStringLiteral("/dev/shm/brevilo-fuzz-XXXXXX")
                                 : QDir::tempPath() + QStringLiteral("/brevilo-fuzz-XXXXXX"));
    const app::AddressBook book(dir.path());
    {
        QFile file(book.Path());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }
    const QStringList loaded = book.Load();
    for (const QString& entry : loaded)
        if (!entry.contains(QLatin1Char('\t')))
            abort();

    if (!book.Save(loaded))
        abort();
    const QStringList once = book.Load();
    if (once.size() > loaded.size())
        abort();
    if (!book.Save(once))
        abort();
    if (book.Load() != once) {
        fprintf(stderr, "a saved address book does not read back the same\n");
        abort();
    }
    (void)app::AddressBook::Sorted(loaded);
    return 0;
}
