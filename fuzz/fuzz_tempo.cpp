// The waiting-time conversion on arbitrary text: never crashes, always in range, and agrees
// with plain integers written in the text.
#include "FuzzCheck.h"
#include "settings/modMain.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const qint32 value = settings::ConvertTempoAttesa(text);
    bool isInt = false;
    const qlonglong plain = text.toLongLong(&isInt);
    if (isInt && !text.isEmpty() && (text[0].isDigit() || text[0] == u'-') && plain >= INT32_MIN &&
        plain <= INT32_MAX && value != plain)
        Fail("a plain integer converted to another value");
    // Prefixing blanks changes nothing: they are ignored anywhere.
    if (settings::ConvertTempoAttesa(QStringLiteral(" \t\n") + text) != value)
        Fail("leading blanks changed the result");
    return 0;
}
