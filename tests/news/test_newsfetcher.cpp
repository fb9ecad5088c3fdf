#include "FakeHttpClient.h"
#include "Fakes.h"
#include "NewsFixtures.h"
#include "app/modMain.h"
#include "mail/CMessaggio.h"
#include "mail/Outbox.h"
#include "news/NewsFetcher.h"

#include <QtTest>

using testsupport::FakeClock;
using testsupport::FakeHttpClient;
using testsupport::ReadNewsFixture;

namespace {

const QString kVolley = QStringLiteral("V");
const QString kNews = QStringLiteral("N");
const QString kSerieA = QStringLiteral("A");
const QString kSerieB = QStringLiteral("B");

struct Rig {
    Rig()
        : outbox(lstLog), digest(outbox, settings, clock, [] { return QStringLiteral("Io"); },
                                 [this](const QString& c) { caption = c; }),
          fetcher(inet1, settings, clock, digest)
    {
        QObject::connect(&inet1, &platform::IHttpClient::stateChanged,
                         [this](int state) { fetcher.Inet1_StateChanged(state); });
        settings.From = QStringLiteral("me@example.org");
        settings.NewsDest[0] = QStringLiteral("a@example.org");
    }

    void AllOn()
    {
        settings.PallavoloA1_finali = settings.Notizie = settings.SerieA = settings.SerieB = true;
    }

    // The page each request went to, by a one-letter name.
    QString Requested() const
    {
        QString pages;
        for (const auto& r : inet1.requests) {
            if (r.path == news::kVolleyPath)
                pages += kVolley;
            else if (r.path == news::kNewsPath)
                pages += kNews;
            else if (r.path == news::kSerieAPath)
                pages += kSerieA;
            else if (r.path == news::kSerieBPath)
                pages += kSerieB;
        }
        return pages;
    }

    // A tick every 3 seconds; each request fails at once.
    void TicksFailing(int ticks)
    {
        for (int i = 0; i < ticks; ++i) {
            clock.AdvanceSeconds(3);
            fetcher.Timer2_Timer();
            if (inet1.IsExecuting())
                inet1.Fail();
        }
    }

    mail::MemoryStatusList lstLog;
    mail::Outbox outbox;
    app::ModMain settings;
    FakeClock clock;
    FakeHttpClient inet1;
    QString caption;
    news::NewsDigest digest;
    news::NewsFetcher fetcher;
};

} // namespace

class TestNewsFetcher : public QObject {
    Q_OBJECT
private slots:
    void tableOrderAndHosts();
    void oneRequestInFlight();
    void intervals();
    void eitherVolleySwitch_data();
    void eitherVolleySwitch();
    void switchesReadAfresh();
    void pagesByHost_data();
    void pagesByHost();
    void errorEndsPageSilently();
    void nothingReadWhileExecuting();
    void cancelOnUnload();
};

void TestNewsFetcher::tableOrderAndHosts()
{
    Rig rig;
    rig.AllOn();
    rig.settings.NewsHost = QStringLiteral("127.0.0.1:8080");
    const double t0 = rig.clock.Now();
    rig.fetcher.Timer2_Timer();
    QCOMPARE(rig.fetcher.lastVolley, t0);
    QCOMPARE(rig.fetcher.lastNews, 0.0);
    rig.inet1.Fail();
    rig.TicksFailing(4);
    QCOMPARE(rig.Requested(), QStringLiteral("VNAB"));
    QCOMPARE(rig.inet1.requests[0].host, news::kDefaultVolleyHost);
    QCOMPARE(rig.inet1.requests[1].host, QStringLiteral("127.0.0.1:8080"));
    QCOMPARE(rig.inet1.requests[1].path, QString());
    QCOMPARE(rig.inet1.requests[2].host, news::kDefaultFootballHost);
    QCOMPARE(rig.inet1.requests[3].host, news::kDefaultFootballHost);
}

void TestNewsFetcher::oneRequestInFlight()
{
    Rig rig;
    rig.AllOn();
    rig.fetcher.Timer2_Timer();
    for (int i = 0; i < 50; ++i) { // 150 s of a hanging request
        rig.clock.AdvanceSeconds(3);
        rig.fetcher.Timer2_Timer();
    }
    QCOMPARE(rig.Requested(), kVolley);
    rig.inet1.Fail();
    rig.fetcher.Timer2_Timer();
    QCOMPARE(rig.Requested(), kVolley + kNews);
}

void TestNewsFetcher::intervals()
{
    // Each page again after its own minimum time, counted from the start of its last
    // (failed) request: volleyball 168 s, headlines 120 s, Serie A 114 s, Serie B 138 s.
    Rig rig;
    rig.AllOn();
    QMap<QString, QList<int>> startedAt;
    for (int tick = 0; tick <= 120; ++tick) {
        const qsizetype before = rig.inet1.requests.size();
        rig.fetcher.Timer2_Timer();
        if (rig.inet1.requests.size() > before) {
            startedAt[rig.Requested().right(1)] << tick * 3;
            rig.inet1.Fail();
        }
        rig.clock.AdvanceSeconds(3);
    }
    QCOMPARE(startedAt[kVolley].value(0), 0);
    QCOMPARE(startedAt[kNews].value(0), 3);
    QCOMPARE(startedAt[kSerieA].value(0), 6);
    QCOMPARE(startedAt[kSerieB].value(0), 9);
    // Never before the minimum time; on the first free tick after it (a tick at the exact
    // boundary may fall either side by rounding of the day fractions, and two pages due at
    // once go one tick apart).
    const QMap<QString, int> minimum{{kVolley, 168}, {kNews, 120}, {kSerieA, 114}, {kSerieB, 138}};
    for (auto it = minimum.cbegin(); it != minimum.cend(); ++it) {
        const QList<int>& starts = startedAt[it.key()];
        QVERIFY2(starts.size() >= 3, qPrintable(it.key()));
        for (qsizetype i = 1; i < starts.size(); ++i) {
            const int gap = starts[i] - starts[i - 1];
            QVERIFY2(gap >= it.value() && gap <= it.value() + 9,
                     qPrintable(QStringLiteral("%1: gap %2").arg(it.key()).arg(gap)));
        }
    }
}

void TestNewsFetcher::eitherVolleySwitch_data()
{
    QTest::addColumn<bool>("finali");
    QTest::addColumn<bool>("parziali");
    QTest::addColumn<QString>("requested");
    QTest::newRow("finals") << true << false << kVolley;
    QTest::newRow("partials") << false << true << kVolley;
    QTest::newRow("neither") << false << false << QString();
}

void TestNewsFetcher::eitherVolleySwitch()
{
    QFETCH(bool, finali);
    QFETCH(bool, parziali);
    Rig rig;
    rig.settings.PallavoloA1_finali = finali;
    rig.settings.PallavoloA1_parziali = parziali;
    rig.TicksFailing(3);
    QTEST(rig.Requested(), "requested");
}

void TestNewsFetcher::switchesReadAfresh()
{
    Rig rig;
    rig.TicksFailing(10);
    QCOMPARE(rig.Requested(), QString());
    rig.settings.SerieB = true; // never asked before: due at once
    rig.TicksFailing(1);
    QCOMPARE(rig.Requested(), kSerieB);
    rig.settings.SerieB = false;
    rig.settings.Notizie = true;
    rig.TicksFailing(60);
    QCOMPARE(rig.Requested(), kSerieB + kNews + kNews);
    rig.settings.Notizie = false;
    rig.settings.SerieB = true;
    rig.TicksFailing(1); // its minimum time passed long ago
    QCOMPARE(rig.Requested(), kSerieB + kNews + kNews + kSerieB);
}

void TestNewsFetcher::pagesByHost_data()
{
    QTest::addColumn<QString>("fixture");
    QTest::addColumn<QString>("page");
    QTest::addColumn<QString>("subject");
    QTest::addColumn<QString>("text");

    QTest::newRow("volleyball") << "volley/RisultatiOnLine.asp" << kVolley << "Volley"
                                << "Beta - Delta 3-1 --- Zeta - Theta <font color=\"red\">2-3 ---  - Upsilon 0-3";
    QTest::newRow("headline") << "news/index.html" << kNews << "News" << "Il ponte riapre domani dopo i lavori";
    QTest::newRow("Serie A") << testsupport::kSerieAFixture << kSerieA << "Calcio"
                             << "Aquile-Lupi 2-1 --- Falchi-Orsi  --- Volpi-Tassi 0-0";
    // Only the football extraction runs on a page of another host; it finds no teamA cells here.
    QTest::newRow("volleyball page from the football host") << "volley/RisultatiOnLine.asp" << kSerieA << ""
                                                             << "";
    QTest::newRow("page without a complete body") << "broken/nobody.html" << kVolley << "" << "";
}

void TestNewsFetcher::pagesByHost()
{
    QFETCH(QString, fixture);
    QFETCH(QString, page);
    QFETCH(QString, subject);
    QFETCH(QString, text);
    Rig rig;
    rig.settings.PallavoloA1_finali = page == kVolley;
    rig.settings.Notizie = page == kNews;
    rig.settings.SerieA = page == kSerieA;
    rig.fetcher.Timer2_Timer();
    QCOMPARE(rig.Requested(), page);
    rig.inet1.Finish(ReadNewsFixture(fixture));

    if (text.isEmpty()) {
        QCOMPARE(rig.outbox.mailQueue().Count(), 0);
        return;
    }
    QCOMPARE(rig.caption, text);
    QCOMPARE(rig.outbox.mailQueue().Count(), 1);
    const auto record = rig.outbox.mailQueue().Value(0).ObjectAs<mail::CMessaggio>();
    QCOMPARE(record->mailSubject, subject);
    QCOMPARE(record->mailText, text);

    // Fetched again later: nothing new, nothing queued.
    rig.clock.AdvanceSeconds(600);
    rig.fetcher.Timer2_Timer();
    rig.inet1.Finish(ReadNewsFixture(fixture));
    QCOMPARE(rig.outbox.mailQueue().Count(), 1);
}

void TestNewsFetcher::errorEndsPageSilently()
{
    Rig rig;
    rig.settings.PallavoloA1_finali = true;
    rig.fetcher.Timer2_Timer();
    // The second row's opening tag holds its own closing tag.
    rig.inet1.Finish(ReadNewsFixture(QStringLiteral("broken/RisultatiOnLine.asp")));
    QCOMPARE(rig.outbox.mailQueue().Count(), 0);
    QVERIFY(rig.digest.IsSeen(QStringLiteral("Beta - Delta 3-0")));
    QVERIFY(!rig.digest.IsSeen(QStringLiteral("Xi - Rho 3-2")));

    // The news goes on with the next page.
    rig.settings.Notizie = true;
    rig.clock.AdvanceSeconds(3);
    rig.fetcher.Timer2_Timer();
    rig.inet1.Finish(ReadNewsFixture(QStringLiteral("news/index.html")));
    QCOMPARE(rig.outbox.mailQueue().Count(), 1);
}

void TestNewsFetcher::nothingReadWhileExecuting()
{
    Rig rig;
    rig.settings.SerieA = true;
    rig.fetcher.Timer2_Timer();
    rig.fetcher.Inet1_StateChanged(3);
    QCOMPARE(rig.inet1.reads, 0);
    rig.inet1.Finish(ReadNewsFixture(testsupport::kSerieBFixture));
    QCOMPARE(rig.inet1.reads, 1);
    QCOMPARE(rig.outbox.mailQueue().Count(), 1);
    // A later notification for the same request finds nothing more to read.
    rig.fetcher.Inet1_StateChanged(12);
    QCOMPARE(rig.outbox.mailQueue().Count(), 1);
}

void TestNewsFetcher::cancelOnUnload()
{
    Rig rig;
    rig.fetcher.CancelIfExecuting();
    QCOMPARE(rig.inet1.cancels, 0);
    rig.settings.SerieA = true;
    rig.fetcher.Timer2_Timer();
    rig.fetcher.CancelIfExecuting();
    QCOMPARE(rig.inet1.cancels, 1);
}

QTEST_GUILESS_MAIN(TestNewsFetcher)
#include "test_newsfetcher.moc"
