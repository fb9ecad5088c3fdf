#include "containers/Error.h"
#include "news/Extractors.h"
#include "news/PageScan.h"

#include <QtTest>

using news::ExtractElement;

class TestPageScan : public QObject {
    Q_OBJECT
private slots:
    void extractElement_data();
    void extractElement();
    void walkOfCells();
    void outputAsInput();
    void closingTagBeforeContent_data();
    void closingTagBeforeContent();
    void abbreviazioni_data();
    void abbreviazioni();
    void cleanScorers_data();
    void cleanScorers();
};

void TestPageScan::extractElement_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("tag");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("before");
    QTest::addColumn<QString>("attributes");
    QTest::addColumn<QString>("inner");
    QTest::addColumn<QString>("after");

    QTest::newRow("plain bold") << "x<b>1</b>y" << "b" << true << "x" << "" << "1" << "y";
    QTest::newRow("cell with attributes")
        << "<td k=1>A</td><td>B</td>" << "td" << true << "" << "k=1" << "A" << "<td>B</td>";
    QTest::newRow("no closing tag") << "<td>A" << "td" << false << "<td>A" << "" << "" << "";
    QTest::newRow("nothing there") << "plain text" << "td" << false << "plain text" << "" << "" << "";
    QTest::newRow("closing tag with a blank") << "<b>1</b >rest" << "b" << true << "" << "" << "1" << "rest";
    QTest::newRow("earlier of the two opening forms")
        << "a<b>1</b><b x>2</b>" << "b" << true << "a" << "" << "1" << "<b x>2</b>";
    QTest::newRow("blank form first") << "a<b x>1</b><b>2</b>" << "b" << true << "a" << "x" << "1" << "<b>2</b>";
    QTest::newRow("one blank only gives no attributes") << "<td >A</td>" << "td" << true << "" << "" << "A" << "";
    QTest::newRow("attributes keep quotes, blanks and slash")
        << "<td  class=\"x\" />A</td>" << "td" << true << "" << " class=\"x\" /" << "A" << "";
    QTest::newRow("capitals not found") << "<TD>A</TD>" << "td" << false << "<TD>A</TD>" << "" << "" << "";
    QTest::newRow("line break after the name not found")
        << "<td\n>A</td>" << "td" << false << "<td\n>A</td>" << "" << "" << "";
    QTest::newRow("b finds neither br nor body")
        << "<br><body>x</body><b>y</b>" << "b" << true << "<br><body>x</body>" << "" << "y" << "";
    QTest::newRow("a does not find abbr") << "<abbr>x</abbr><a href=1>y</a>" << "a" << true << "<abbr>x</abbr>"
                                          << "href=1" << "y" << "";
    QTest::newRow("no nesting: first closing tag ends it")
        << "<td>1<td>2</td>3</td>" << "td" << true << "" << "" << "1<td>2" << "3</td>";
    QTest::newRow("opening tag ends at first > even inside a value")
        << "<a title=\"x>y\">L</a>" << "a" << true << "" << "title=\"x" << "y\">L" << "";
    QTest::newRow("closing tag without > leaves nothing after")
        << "<b>1</b and more" << "b" << true << "" << "" << "1" << "";
    QTest::newRow("empty text") << "" << "b" << false << "" << "" << "" << "";
}

void TestPageScan::extractElement()
{
    QFETCH(QString, text);
    QFETCH(QString, tag);
    news::Element e;
    QFETCH(bool, found);
    QCOMPARE(ExtractElement(text, tag, e), found);
    QFETCH(QString, before);
    QFETCH(QString, attributes);
    QFETCH(QString, inner);
    QFETCH(QString, after);
    QCOMPARE(e.before.toString(), before);
    QCOMPARE(e.attributes.toString(), attributes);
    QCOMPARE(e.inner.toString(), inner);
    QCOMPARE(e.after.toString(), after);
}

void TestPageScan::walkOfCells()
{
    const QString row = QStringLiteral("<td k=1>A</td><td>B</td>");
    QStringView rest = row;
    QStringList cells;
    news::Element e;
    while (ExtractElement(rest, u"td", e)) {
        cells << e.inner.toString();
        rest = e.after;
    }
    QCOMPARE(cells, QStringList({QStringLiteral("A"), QStringLiteral("B")}));
    QVERIFY(rest.isEmpty());
}

void TestPageScan::outputAsInput()
{
    // The extractors pass the remainder they walk on as text and as an output at once.
    const QString page = QStringLiteral("<tr>1</tr><tr>2</tr>");
    QStringView text = page;
    QStringView attributes, before, inner;
    QVERIFY(ExtractElement(text, u"tr", attributes, before, inner, text));
    QCOMPARE(inner.toString(), QStringLiteral("1"));
    QCOMPARE(text.toString(), QStringLiteral("<tr>2</tr>"));
}

void TestPageScan::closingTagBeforeContent_data()
{
    QTest::addColumn<QString>("text");
    QTest::newRow("closing tag in an attribute value") << "<tr title=\"a </tr> b\">x</tr>";
    QTest::newRow("opening tag never ended") << "<td x </td ";
}

void TestPageScan::closingTagBeforeContent()
{
    QFETCH(QString, text);
    const QString tag = text.startsWith(QLatin1String("<tr")) ? QStringLiteral("tr") : QStringLiteral("td");
    news::Element e;
    try {
        ExtractElement(text, tag, e);
        QFAIL("an overlapping closing tag must end the page's processing");
    } catch (const containers::Error& error) {
        QCOMPARE(error.Number(), news::kInvalidArgumentErrorNumber);
    }
}

void TestPageScan::abbreviazioni_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shortName");
    QTest::newRow("three words") << "Alpha Beta Gamma" << "Gamma";
    QTest::newRow("one word") << "Omicron" << "Omicron";
    QTest::newRow("ends with a blank") << "Pi Rho " << "";
    QTest::newRow("empty") << "" << "";
    QTest::newRow("tab and nbsp do not separate") << "Uno\tDue&nbsp;Tre" << "Uno\tDue&nbsp;Tre";
}

void TestPageScan::abbreviazioni()
{
    QFETCH(QString, name);
    QFETCH(QString, shortName);
    QCOMPARE(news::PallavoloAbbreviazioni(name), shortName);
}

void TestPageScan::cleanScorers_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("cleaned");
    QTest::newRow("names on lines") << "Rossi 12'<br>\r\nBianchi 80'<br>" << "Rossi 12'Bianchi 80'";
    QTest::newRow("only br and line breaks") << "<br>\n<br>\r\n\t" << "";
    QTest::newRow("blank runs halved") << "a    b" << "a b";
    QTest::newRow("ends keep one blank") << "   x   " << " x ";
    QTest::newRow("1024 blanks become one") << QString(QStringLiteral("a") + QString(1024, QLatin1Char(' ')) + "b")
                                            << "a b";
    QTest::newRow("1025 blanks keep two") << QString(QStringLiteral("a") + QString(1025, QLatin1Char(' ')) + "b")
                                          << "a  b";
    QTest::newRow("capital BR stays") << "x<BR>y" << "x<BR>y";
}

void TestPageScan::cleanScorers()
{
    QFETCH(QString, cell);
    QFETCH(QString, cleaned);
    QCOMPARE(news::CleanScorers(cell), cleaned);
}

QTEST_GUILESS_MAIN(TestPageScan)
#include "test_pagescan.moc"
