#pragma once

#include <QString>
#include <QStringView>

namespace app {
struct ModMain;
}

namespace news {

class NewsDigest;

// The volleyball league's results: one line per match row, offered with the subject "Volley".
void ExtractVolley(QStringView bodyText, const app::ModMain& settings, NewsDigest& digest);

// The newspaper's Serie A or Serie B results: one line per match, offered with the subject
// "Calcio", followed by the scorers when TuttiGol is on.
void ExtractFootball(QStringView bodyText, const app::ModMain& settings, NewsDigest& digest);

// The news site's home page: the first emphasised headline, or the link inside it.
void ExtractHeadline(QStringView bodyText, NewsDigest& digest);

// A scorers cell made one line: "<br>", line breaks and tabs removed, runs of blanks halved
// ten times.
QString CleanScorers(QStringView cell);

} // namespace news
