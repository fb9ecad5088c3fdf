#include "NewsFixtures.h"
#include "app/modMain.h"
#include "news/Extractors.h"
#include "news/PageScan.h"

#include <QtTest>

using testsupport::ReadNewsFixture;

namespace {

// The body of a fixture page, as the completion handler cuts it.
QString Body(const QString& fixture)
{
    const QString page = ReadNewsFixture(fixture);
    news::Element body;
    news::ExtractElement(page, u"body", body);
    return body.inner.toString();
}

struct Offered {
    QStringList lines;
    QStringList subjects;
    news::OfferResultFn Sink()
    {
        return [this](const QString& line, const QString& subject) {
            lines << line;
            subjects << subject;
        };
    }
};

} // namespace

class TestExtractors : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void volley_data();
    void volley();
    void football_data();
    void football();
    void headline_data();
    void headline();
};

void TestExtractors::initTestCase()
{
    QVERIFY2(!ReadNewsFixture(QStringLiteral("volley/RisultatiOnLine.asp")).isEmpty(), "fixtures not found");
}

void TestExtractors::volley_data()
{
    QTest::addColumn<bool>("parziali");
    QTest::addColumn<QString>("dettaglio");
    QTest::addColumn<QStringList>("lines");

    const QString zeta = QStringLiteral("Zeta - Theta <font color=\"red\">2-3");
    QTest::newRow("finals only, no detail")
        << false << "" << QStringList{"Beta - Delta 3-1", zeta, " - Upsilon 0-3"};
    QTest::newRow("partials and detail for all")
        << true << "*"
        << QStringList{"Beta - Delta 3-1 [25-20 22-25 25-18 25-23]",
                       zeta + " [25-20 22-25 25-18 23-25 13-15]",
                       "Kappa - Mu 2-1 [25-21 19-25 25-17 10-8]",
                       "Xi - Omicron <font color=red>3-0 [25-10 25-11 25-12]",
                       " - Upsilon 0-3 [10-25 11-25 12-25]",
                       "Chi - Omega "};
    QTest::newRow("followed team in other case")
        << false << "bEtA" << QStringList{"Beta - Delta 3-1 [25-20 22-25 25-18 25-23]", zeta, " - Upsilon 0-3"};
    QTest::newRow("first word of a name is not followed")
        << false << "Alpha" << QStringList{"Beta - Delta 3-1", zeta, " - Upsilon 0-3"};
    QTest::newRow("followed text spans the names joined by a blank")
        << false << "a d" << QStringList{"Beta - Delta 3-1 [25-20 22-25 25-18 25-23]", zeta, " - Upsilon 0-3"};
}

void TestExtractors::volley()
{
    QFETCH(bool, parziali);
    QFETCH(QString, dettaglio);
    QFETCH(QStringList, lines);
    app::ModMain settings;
    settings.PallavoloA1_finali = true;
    settings.PallavoloA1_parziali = parziali;
    settings.PallavoloDettaglio = dettaglio;
    Offered offered;
    news::ExtractVolley(Body(QStringLiteral("volley/RisultatiOnLine.asp")), settings, offered.Sink());
    QCOMPARE(offered.lines, lines);
    QCOMPARE(offered.subjects, QStringList(lines.size(), QStringLiteral("Volley")));
}

void TestExtractors::football_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<bool>("tuttiGol");
    QTest::addColumn<QStringList>("lines");

    QTest::newRow("Serie A without scorers")
        << testsupport::kSerieAFixture << false << QStringList{"Aquile-Lupi 2-1", "Falchi-Orsi ", "Volpi-Tassi 0-0"};
    QTest::newRow("Serie A with scorers")
        << testsupport::kSerieAFixture << true
        << QStringList{"Aquile-Lupi 2-1 Rossi 12' Bianchi 80'  Verdi 45'", "Falchi-Orsi", "Volpi-Tassi 0-0"};
    QTest::newRow("Serie B with scorers")
        << testsupport::kSerieBFixture << true << QStringList{"Cervi-Daini 1-3 Neri 3' Gialli 10'Gialli 55'Viola 90'"};
}

void TestExtractors::football()
{
    QFETCH(QString, fixture);
    QFETCH(bool, tuttiGol);
    QFETCH(QStringList, lines);
    app::ModMain settings;
    settings.TuttiGol = tuttiGol;
    Offered offered;
    news::ExtractFootball(Body(fixture), settings, offered.Sink());
    QCOMPARE(offered.lines, lines);
    QCOMPARE(offered.subjects, QStringList(lines.size(), QStringLiteral("Calcio")));
}

void TestExtractors::headline_data()
{
    QTest::addColumn<QString>("body");
    QTest::addColumn<QString>("headline");
    QTest::newRow("home page fixture") << Body(QStringLiteral("news/index.html"))
                                       << "Il ponte riapre domani dopo i lavori";
    QTest::newRow("strong without a link keeps its tags") << "<strong>Uno <em>due</em>\n</strong>"
                                                          << "Uno <em>due</em>\n";
    QTest::newRow("no strong element") << "<p>niente</p>" << "";
}

void TestExtractors::headline()
{
    QFETCH(QString, body);
    QFETCH(QString, headline);
    QStringList offered;
    news::ExtractHeadline(body, [&](const QString& h) { offered << h; });
    QCOMPARE(offered, QStringList{headline});
}

QTEST_GUILESS_MAIN(TestExtractors)
#include "test_extractors.moc"
