#include "PageScan.h"

#include "containers/Error.h"

namespace news {

namespace {

// First position at or after from of prefix + tag followed by a blank or ">". This is the
// smaller of the two separate searches the extractors rely on, found in one pass, so a
// tag that only ever appears in one of the two forms does not cost a scan to the end of
// the page at every step.
qsizetype FindTag(QStringView text, QStringView prefix, QStringView tag, qsizetype from)
{
    const qsizetype nameLength = prefix.size() + tag.size();
    qsizetype pos = from;
    while (true) {
        pos = text.indexOf(prefix, pos);
        if (pos < 0)
            return -1;
        const qsizetype next = pos + nameLength;
        if (next < text.size() && text.sliced(pos + prefix.size(), tag.size()) == tag) {
            const QChar c = text[next];
            if (c == QLatin1Char(' ') || c == QLatin1Char('>'))
                return pos;
        }
        ++pos;
    }
}

} // namespace

bool ExtractElement(QStringView text, QStringView tag, QStringView& attributes, QStringView& before,
                    QStringView& inner, QStringView& after)
{
    // text is a view held by value: a caller may pass one of its outputs as text.
    before = text;
    attributes = {};
    inner = {};
    after = {};
    if (tag.isEmpty())
        return false;

    const qsizetype open = FindTag(text, u"<", tag, 0);
    if (open < 0)
        return false;
    const qsizetype close = FindTag(text, u"</", tag, open);
    if (close < 0)
        return false;

    // An opening tag with no ">" anywhere after it has no content start: take the end of the
    // text, so the closing tag lies before it and the page is given up like any tag overlap.
    const qsizetype openEnd = text.indexOf(QLatin1Char('>'), open);
    const qsizetype contentStart = openEnd < 0 ? text.size() : openEnd + 1;
    if (close < contentStart)
        throw containers::Error(kInvalidArgumentErrorNumber, QStringLiteral("ExtractElement"),
                                QStringLiteral("Invalid procedure call or argument"));

    before = text.first(open);
    inner = text.sliced(contentStart, close - contentStart);
    // A closing tag "</tag " never ended by ">": nothing follows, so a walk stops here instead
    // of meeting the same element again.
    const qsizetype closeEnd = text.indexOf(QLatin1Char('>'), close);
    after = closeEnd < 0 ? QStringView() : text.sliced(closeEnd + 1);

    const qsizetype attributeLength = contentStart - open - tag.size() - 3;
    if (attributeLength > 0)
        attributes = text.sliced(open + tag.size() + 2, attributeLength);
    return true;
}

bool ExtractElement(QStringView text, QStringView tag, Element& element)
{
    return ExtractElement(text, tag, element.attributes, element.before, element.inner, element.after);
}

QString PallavoloAbbreviazioni(QStringView sq)
{
    const qsizetype blank = sq.lastIndexOf(QLatin1Char(' '));
    return (blank < 0 ? sq : sq.sliced(blank + 1)).toString();
}

} // namespace news
