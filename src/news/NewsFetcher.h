#pragma once

#include "NewsDigest.h"
#include "platform/Clock.h"
#include "platform/HttpClient.h"

namespace app {
struct ModMain;
}

namespace news {

// Placeholders under the reserved .invalid domain; the store keys News/VolleyHost,
// News/NewsHost and News/FootballHost name the real sites.
inline const QString kDefaultVolleyHost = QStringLiteral("volley.results.invalid");
inline const QString kDefaultNewsHost = QStringLiteral("news.headlines.invalid");
inline const QString kDefaultFootballHost = QStringLiteral("football.results.invalid");

// Timer2_Timer picks the next due page and starts one GET; Inet1_StateChanged processes it.
class NewsFetcher {
public:
    NewsFetcher(platform::IHttpClient& inet1, const app::ModMain& settings, const platform::IClock& clock,
                NewsDigest& digest);

    void Timer2_Timer();
    void Inet1_StateChanged(int state);
    // Called when the main window unloads.
    void CancelIfExecuting();

    // Start times of the last request per page, in days; 0 = never.
    double lastVolley = 0, lastNews = 0, lastSerieA = 0, lastSerieB = 0;
};

} // namespace news
