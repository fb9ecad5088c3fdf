#pragma once

#include <QString>
#include <QStringView>

namespace news {

// The four pieces ExtractElement cuts a text into. They are views into the text that was
// searched, so a page is walked without copying its remainder at every step; the text
// must outlive them.
struct Element {
    QStringView attributes;
    QStringView before;
    QStringView inner;
    QStringView after;
};

// Finds the first element named tag in text (exact substring search, no nesting, the first
// ">" ends a tag) and splits the text around it. Returns false when there is no opening or
// no closing tag; then before is the whole text and the rest is empty. Throws
// containers::Error when the closing tag lies before the content start (a closing tag
// written inside the opening tag).
bool ExtractElement(QStringView text, QStringView tag, QStringView& attributes, QStringView& before,
                    QStringView& inner, QStringView& after);
bool ExtractElement(QStringView text, QStringView tag, Element& element);

// Position of needle in text at or after from, or -1. Exact comparison like
// QStringView::indexOf, in a plain loop that suits the short needles and short distances
// of the extractors.
qsizetype FindText(QStringView text, QStringView needle, qsizetype from = 0);

// Every needle removed from s; s is left alone when it holds none.
void RemoveAll(QString& s, QStringView needle);

// A volleyball team's name shortened to the text after its last blank.
QString PallavoloAbbreviazioni(QStringView sq);

// Number of the invalid-argument error that ends the processing of a page.
constexpr qint32 kInvalidArgumentErrorNumber = 5;

} // namespace news
