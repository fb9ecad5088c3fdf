// Arbitrary text through ExtractElement and the three page extractions. Checks that the
// pieces stay inside the text in order and that a walk always moves forward.
#include "FuzzCheck.h"
#include "settings/modMain.h"
#include "containers/Error.h"
#include "news/Extractors.h"
#include "news/PageScan.h"

namespace {

const char* const kTags[] = {"body", "tr", "td", "b", "strong", "a", "table"};

bool Inside(QStringView piece, QStringView text)
{
    return piece.isEmpty() || (piece.data() >= text.data() && piece.data() + piece.size() <= text.data() + text.size());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2)
        return 0;
    const uint8_t flags = data[0];
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data + 1), static_cast<qsizetype>(size - 1));
    const QString tag = QString::fromLatin1(kTags[flags % 7]);

    try {
        news::Element e;
        if (news::ExtractElement(text, tag, e)) {
            if (!Inside(e.before, text) || !Inside(e.inner, text) || !Inside(e.after, text)
                || !text.startsWith(e.before) || e.after.size() >= text.size())
                Fail("a piece outside the text, or after that does not move forward");
        } else if (e.before.size() != text.size() || !e.inner.isEmpty() || !e.after.isEmpty()) {
            Fail("not found must leave the whole text in before");
        }
    } catch (const containers::Error&) {
        // A closing tag inside the opening tag: the caller drops the page.
    }

    settings::ModMain settings;
    settings.PallavoloA1_parziali = flags & 0x08;
    settings.PallavoloDettaglio = (flags & 0x10) ? QStringLiteral("*") : QStringLiteral("beta");
    settings.TuttiGol = flags & 0x20;
    // An error ends a page silently in the program: here it only must not be a crash.
    const auto quietly = [](auto extraction) {
        try {
            extraction();
        } catch (const containers::Error&) {
        }
    };
    qsizetype offered = 0; // each offered line is touched, so a dangling one shows
    const auto offerResult = [&](const QString& line, const QString&) { offered += line.size(); };
    quietly([&] { news::ExtractVolley(text, settings, offerResult); });
    quietly([&] { news::ExtractFootball(text, settings, offerResult); });
    quietly([&] { news::ExtractHeadline(text, [&](const QString& h) { offered += h.size(); }); });
    (void)news::PallavoloAbbreviazioni(text);
    (void)news::CleanScorers(text);
    return 0;
}
