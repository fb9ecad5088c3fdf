#include "PageScan.h"

#include "containers/Error.h"

namespace news {

namespace {

// First position at or after from of "<" (closing: "</") + tag followed by a blank or ">".
// This is the smaller of the two separate searches the extractors rely on, found in one
// pass, so a tag that only ever appears in one of the two forms does not cost a scan to
// the end of the page at every step. A plain loop: the distances are short and many, where
// the library's search costs more to set up than to run.
qsizetype FindTag(QStringView text, bool closing, QStringView tag, qsizetype from)
{
    const char16_t* const data = text.utf16();
    const qsizetype size = text.size();
    const qsizetype nameLength = (closing ? 2 : 1) + tag.size();
    const char16_t* const name = tag.utf16();
    for (qsizetype pos = from; pos + nameLength < size; ++pos) {
        if (data[pos] != u'<')
            continue;
        qsizetype at = pos + 1;
        if (closing && data[at++] != u'/')
            continue;
        qsizetype i = 0;
        while (i < tag.size() && data[at + i] == name[i])
            ++i;
        if (i < tag.size())
            continue;
        const char16_t after = data[at + i];
        if (after == u' ' || after == u'>')
            return pos;
    }
    return -1;
}

qsizetype FindChar(QStringView text, char16_t c, qsizetype from)
{
    const char16_t* const data = text.utf16();
    for (qsizetype pos = from; pos < text.size(); ++pos)
        if (data[pos] == c)
            return pos;
    return -1;
}

} // namespace

qsizetype FindText(QStringView text, QStringView needle, qsizetype from)
{
    if (needle.isEmpty())
        return from <= text.size() ? from : -1;
    const char16_t* const data = text.utf16();
    const char16_t* const n = needle.utf16();
    const qsizetype last = text.size() - needle.size();
    for (qsizetype pos = from; pos <= last; ++pos) {
        if (data[pos] != n[0])
            continue;
        qsizetype i = 1;
        while (i < needle.size() && data[pos + i] == n[i])
            ++i;
        if (i == needle.size())
            return pos;
    }
    return -1;
}

void RemoveAll(QString& s, QStringView needle)
{
    if (FindText(s, needle) >= 0)
        s.remove(needle.toString());
}

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

    const qsizetype open = FindTag(text, false, tag, 0);
    if (open < 0)
        return false;
    const qsizetype close = FindTag(text, true, tag, open);
    if (close < 0)
        return false;

    // An opening tag with no ">" anywhere after it has no content start: take the end of the
    // text, so the closing tag lies before it and the page is given up like any tag overlap.
    const qsizetype openEnd = FindChar(text, u'>', open);
    const qsizetype contentStart = openEnd < 0 ? text.size() : openEnd + 1;
    if (close < contentStart)
        throw containers::Error(kInvalidArgumentErrorNumber, QStringLiteral("ExtractElement"),
                                QStringLiteral("Invalid procedure call or argument"));

    before = text.first(open);
    inner = text.sliced(contentStart, close - contentStart);
    // A closing tag "</tag " never ended by ">": nothing follows, so a walk stops here instead
    // of meeting the same element again.
    const qsizetype closeEnd = FindChar(text, u'>', close);
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
