#include "Extractors.h"

#include "NewsDigest.h"
#include "PageScan.h"
#include "settings/modMain.h"

namespace news {

namespace {

const QString kNbsp = QStringLiteral("&nbsp;");

QString WithoutNbsp(QStringView text)
{
    QString s = text.toString();
    RemoveAll(s, kNbsp);
    return s;
}

// Blanks only: tabs and line breaks at the ends stay.
QStringView TrimBlanks(QStringView s)
{
    qsizetype begin = 0;
    qsizetype end = s.size();
    while (begin < end && s[begin] == QLatin1Char(' '))
        ++begin;
    while (end > begin && s[end - 1] == QLatin1Char(' '))
        --end;
    return s.sliced(begin, end - begin);
}

// The next cell of a row or of the page: its inner text, and what follows replaces text.
// A search that finds nothing gives an empty cell and an empty remainder.
QStringView NextCell(QStringView& text)
{
    Element cell;
    ExtractElement(text, u"td", cell);
    text = cell.after;
    return cell.inner;
}

bool IsFinalScore(const QString& score)
{
    return score.startsWith(QLatin1String("3-")) || score.endsWith(QLatin1String("-3"));
}

bool WantsDetail(const QString& followed, const QString& first, const QString& second)
{
    if (followed == QLatin1String("*"))
        return true;
    if (followed.isEmpty())
        return false;
    return (first + QLatin1Char(' ') + second).contains(followed, Qt::CaseInsensitive);
}

// Where the next "table" element starts, remembered across the matches of one page: the
// walk only moves forward, so a table found ahead stays the next one until the walk passes
// it, and a search that found none stays fruitless. Without it every match would scan the
// rest of the page again.
class NextTable {
public:
    explicit NextTable(QStringView page) : m_page(page) {}

    // The first table element of rest, which is a tail of the page.
    bool Find(QStringView rest, Element& table)
    {
        const qsizetype at = m_page.size() - rest.size();
        if (m_none)
            return false;
        if (m_valid && m_openAt >= at) {
            table = m_table;
            return true;
        }
        Element found;
        if (!ExtractElement(rest, u"table", found)) {
            m_none = true;
            return false;
        }
        m_valid = true;
        m_openAt = at + found.before.size();
        m_table = found;
        table = found;
        return true;
    }

private:
    QStringView m_page;
    Element m_table;
    qsizetype m_openAt = 0;
    bool m_valid = false;
    bool m_none = false;
};

} // namespace

void ExtractVolley(QStringView bodyText, const settings::ModMain& settings, const OfferResultFn& offerResult)
{
    Element row;
    while (ExtractElement(bodyText, u"tr", row)) {
        bodyText = row.after;
        if (FindText(row.attributes, u"\"Acquisto\"") < 0)
            continue;

        QStringView rowText = row.inner;
        const QString first = PallavoloAbbreviazioni(NextCell(rowText));
        const QString second = PallavoloAbbreviazioni(NextCell(rowText));
        const QStringView scoreCell = NextCell(rowText);
        Element bold;
        ExtractElement(scoreCell, u"b", bold);
        QString score = bold.inner.toString();
        RemoveAll(score, u"</font>");

        if (!IsFinalScore(score) && !settings.PallavoloA1_parziali)
            continue;

        // Built by appending into one buffer: this runs for every row of every page.
        QString line;
        line.reserve(first.size() + second.size() + score.size() + 64);
        line += first;
        line += u" - ";
        line += second;
        line += u' ';
        line += score;
        if (WantsDetail(settings.PallavoloDettaglio, first, second)) {
            for (int set = 0; set < 5; ++set) {
                const QStringView cellText = NextCell(rowText);
                QString cleaned;
                QStringView points = cellText;
                if (FindText(cellText, kNbsp) >= 0) {
                    cleaned = WithoutNbsp(cellText);
                    points = cleaned;
                }
                if (!points.isEmpty()) {
                    line += u" [";
                    line += points;
                    line += u']';
                }
            }
            if (FindText(line, u"] [") >= 0)
                line.replace(QStringLiteral("] ["), QStringLiteral(" "));
        }
        offerResult(line, kSubjectVolley);
    }
}

QString CleanScorers(QStringView cell)
{
    QString s = cell.toString();
    RemoveAll(s, u"<br>");
    s.remove(QChar(10));
    s.remove(QChar(13));
    s.remove(QChar(9));
    for (int pass = 0; pass < 10 && FindText(s, u"  ") >= 0; ++pass)
        s.replace(QStringLiteral("  "), QStringLiteral(" "));
    return s;
}

void ExtractFootball(QStringView bodyText, const settings::ModMain& settings, const OfferResultFn& offerResult)
{
    NextTable nextTable(bodyText);
    Element cell;
    while (ExtractElement(bodyText, u"td", cell)) {
        bodyText = cell.after;
        if (FindText(cell.attributes, u"class=\"teamA\"") < 0)
            continue;

        const QStringView home = cell.inner;
        const QString score = WithoutNbsp(NextCell(bodyText));
        const QStringView away = NextCell(bodyText);
        QString line = home.toString() + QLatin1Char('-') + away.toString() + QLatin1Char(' ') + score;

        Element table;
        if (settings.TuttiGol && nextTable.Find(bodyText, table)) {
            QStringView tableText = table.inner;
            Element scorers;
            if (ExtractElement(tableText, u"td", scorers)) {
                line = TrimBlanks(QString(line + QLatin1Char(' ') + CleanScorers(scorers.inner))).toString();
                tableText = scorers.after;
                if (ExtractElement(tableText, u"td", scorers))
                    line = TrimBlanks(QString(line + QLatin1Char(' ') + CleanScorers(scorers.inner))).toString();
            }
        }
        offerResult(line, kSubjectCalcio);
    }
}

void ExtractHeadline(QStringView bodyText, const OfferHeadlineFn& offerHeadline)
{
    Element strong;
    ExtractElement(bodyText, u"strong", strong);
    QStringView headline = strong.inner;
    Element link;
    if (ExtractElement(headline, u"a", link))
        headline = link.inner;
    offerHeadline(headline.toString());
}

} // namespace news
