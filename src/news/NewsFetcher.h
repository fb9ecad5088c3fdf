#pragma once

#include "NewsDigest.h"
#include "platform/Clock.h"
#include "platform/HttpClient.h"

namespace settings {
struct ModMain;
}

namespace news {

// Placeholders under the reserved .invalid domain; the store keys News/VolleyHost,
// News/NewsHost and News/FootballHost name the real sites.
inline const QString kDefaultVolleyHost = QStringLiteral("volley.results.invalid");
inline const QString kDefaultNewsHost = QStringLiteral("news.headlines.invalid");
inline const QString kDefaultFootballHost = QStringLiteral("football.results.invalid");

// Paths of the four pages, sent as they stand after the host's root.
inline const QString kVolleyPath = QStringLiteral("RisultatiOnLine.asp?Serie=1");
inline const QString kNewsPath;
inline const QString kSerieAPath =
    QStringLiteral("speciale/2004/calcio/dati/serie_a/calendarioErisultatiultimagiornata.html");
inline const QString kSerieBPath =
    QStringLiteral("speciale/2004/calcio/dati/serie_b/calendarioErisultatiultimagiornata.html");

// At most this many characters of a page are ever read.
constexpr int kMaxPageLength = 100000;

// Timer2 ticks every 3000 ms.
constexpr int kTimer2IntervalMs = 3000;

// Minimum times between two requests of a page, in days.
constexpr double MinutesToDays(double minutes)
{
    return minutes / 24 / 60;
}
constexpr double kVolleyInterval = MinutesToDays(2.8);
constexpr double kNewsInterval = MinutesToDays(2.0);
constexpr double kSerieAInterval = MinutesToDays(1.9);
constexpr double kSerieBInterval = MinutesToDays(2.3);

// The hosts in use: the settings' values when given, else the placeholders.
QString VolleyHost(const settings::ModMain& settings);
QString NewsHost(const settings::ModMain& settings);
QString FootballHost(const settings::ModMain& settings);

// Timer2_Timer picks the next due page and starts one GET; Inet1_StateChanged processes it.
class NewsFetcher {
public:
    NewsFetcher(platform::IHttpClient& inet1, const settings::ModMain& settings, const platform::IClock& clock,
                NewsDigest& digest);

    void Timer2_Timer();
    void Inet1_StateChanged(int state);
    // Called when the main window unloads.
    void CancelIfExecuting();

    // Steps 5 to 10 of Inet1_StateChanged for a page already read: body cut, extraction of
    // the page that belongs to host, delivery. Errors propagate to the caller.
    void ProcessPage(const QString& pageText, const QString& host);

    // Start times of the last request per page, in days; 0 = never.
    double lastVolley = 0, lastNews = 0, lastSerieA = 0, lastSerieB = 0;

private:
    platform::IHttpClient& m_inet1;
    const settings::ModMain& m_settings;
    const platform::IClock& m_clock;
    NewsDigest& m_digest;
};

} // namespace news
