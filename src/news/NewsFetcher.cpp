#include "NewsFetcher.h"

#include "Extractors.h"
#include "PageScan.h"
#include "settings/modMain.h"

namespace news {

namespace {
QString HostOr(const QString& configured, const QString& fallback)
{
    return configured.isEmpty() ? fallback : configured;
}
} // namespace

QString VolleyHost(const settings::ModMain& settings)
{
    return HostOr(settings.VolleyHost, kDefaultVolleyHost);
}

QString NewsHost(const settings::ModMain& settings)
{
    return HostOr(settings.NewsHost, kDefaultNewsHost);
}

QString FootballHost(const settings::ModMain& settings)
{
    return HostOr(settings.FootballHost, kDefaultFootballHost);
}

NewsFetcher::NewsFetcher(platform::IHttpClient& inet1, const settings::ModMain& settings,
                         const platform::IClock& clock, NewsDigest& digest)
    : m_inet1(inet1), m_settings(settings), m_clock(clock), m_digest(digest)
{
}

void NewsFetcher::Timer2_Timer()
{
    if (m_inet1.IsExecuting())
        return;

    struct Page {
        bool wanted;
        double& last;
        double interval;
        QString host;
        const QString& path;
    };
    // Table order; the switches are read afresh on every tick.
    const Page pages[] = {
        {m_settings.PallavoloA1_finali || m_settings.PallavoloA1_parziali, lastVolley, kVolleyInterval,
         VolleyHost(m_settings), kVolleyPath},
        {m_settings.Notizie, lastNews, kNewsInterval, NewsHost(m_settings), kNewsPath},
        {m_settings.SerieA, lastSerieA, kSerieAInterval, FootballHost(m_settings), kSerieAPath},
        {m_settings.SerieB, lastSerieB, kSerieBInterval, FootballHost(m_settings), kSerieBPath},
    };
    const double now = m_clock.Now();
    for (const Page& page : pages) {
        if (!page.wanted || now - page.last < page.interval)
            continue;
        // Set before the request starts, so a page whose requests fail is still asked for
        // only once per minimum time.
        page.last = now;
        m_inet1.StartRequest(page.host, page.path);
        return;
    }
}

void NewsFetcher::Inet1_StateChanged(int /*state*/)
{
    if (m_inet1.IsExecuting())
        return;
    // Whatever goes wrong with one page ends its processing silently; what was recorded or
    // queued before stays.
    try {
        m_digest.newsSubject = kSubjectNews;
        const QString pageText = m_inet1.ReadBody(kMaxPageLength).left(kMaxPageLength);
        if (pageText.isEmpty())
            return;
        ProcessPage(pageText, m_inet1.RequestHost());
    } catch (...) {
    }
}

void NewsFetcher::ProcessPage(const QString& pageText, const QString& host)
{
    m_digest.newsText.clear();

    Element body;
    ExtractElement(pageText, u"body", body);
    QStringView bodyText = body.inner;

    const auto offerResult = [this](const QString& line, const QString& subject) {
        m_digest.OfferResult(line, subject);
    };
    if (host == VolleyHost(m_settings)) {
        ExtractVolley(bodyText, m_settings, offerResult);
        bodyText = {};
    }
    if (host == NewsHost(m_settings)) {
        ExtractHeadline(bodyText, [this](const QString& headline) { m_digest.OfferHeadline(headline); });
        bodyText = {};
    }
    ExtractFootball(bodyText, m_settings, offerResult);

    if (m_digest.newsText.isEmpty())
        return;
    // Copies: DeliverNews must not see the working text change under it.
    const QString subject = m_digest.newsSubject;
    const QString text = m_digest.newsText;
    m_digest.DeliverNews(subject, text);
}

void NewsFetcher::CancelIfExecuting()
{
    if (m_inet1.IsExecuting())
        m_inet1.CancelRequest();
}

} // namespace news
