// Arbitrary bytes as rubrica.txt: loading never crashes, and what a save writes reads back
// as the same entries (the second round trip is exact; the first may trim blanks).
#include "FuzzCheck.h"
#include "app/AddressBook.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(ScratchTemplate());
    const app::AddressBook book(dir.path());
    WriteInput(book.Path(), data, size);
    const QStringList loaded = book.Load();
    for (const QString& entry : loaded)
        if (!entry.contains(QLatin1Char('\t')))
            Fail("an entry without its tab");
    if (!book.Save(loaded))
        Fail("no save");
    const QStringList once = book.Load();
    if (once.size() > loaded.size() || !book.Save(once) || book.Load() != once)
        Fail("a saved address book does not read back the same");
    (void)app::AddressBook::Sorted(loaded);
    return 0;
}
