// Arbitrary bytes as a file in the outbox folder: the start never crashes, and the file is
// either loaded (its record queued, the file left in place) or moved to damaged/ and reported.
#include "FuzzCheck.h"
#include "mail/Outbox.h"
#include "mail/OutboxStore.h"
#include "platform/Clock.h"
#include "settings/modMain.h"

#include <QTemporaryDir>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir(ScratchTemplate());
    static const QString uid = QStringLiteral("0f8a4b56-7c2d-4e1f-9a3b-5d6e7f8091a2");
    mail::OutboxStore store(dir.filePath(QStringLiteral("outbox")));
    QDir(store.DamagedDirectory()).removeRecursively();
    QDir().mkpath(store.Directory());
    const QString path = store.PathFor(uid);
    WriteInput(path, data, size);

    platform::SystemClock clock;
    settings::ModMain settings;
    mail::MemoryStatusList lstLog;
    mail::Outbox outbox(lstLog, clock, settings, &store);
    const int loaded = outbox.Restore();
    const bool moved = QFile::exists(store.DamagedDirectory() + QLatin1Char('/') + uid + QStringLiteral(".json"));
    const bool ok = loaded == 1 ? !moved && QFile::exists(path) && lstLog.LineCount() == 1
                                : loaded == 0 && moved && !QFile::exists(path) && lstLog.LineCount() == 1
                                      && lstLog.Line(0).startsWith(QStringLiteral("ERR - "));
    if (!ok)
        Fail("a file neither loaded nor moved to damaged/ with its ERR line");
    // What was loaded is written back the same way and reads back as the same record.
    if (loaded == 1) {
        const auto record = outbox.mailQueue().Value(0).ObjectAs<mail::CMessaggio>();
        const auto again = mail::OutboxStore::Parse(mail::OutboxStore::Serialize(*record));
        if (!again || mail::OutboxStore::Serialize(*again) != mail::OutboxStore::Serialize(*record))
            Fail("a loaded record does not read back the same");
        outbox.DiscardQueued();
    }
    return 0;
}
