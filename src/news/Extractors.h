#pragma once

#include <QString>
#include <QStringView>

#include <functional>

namespace settings {
struct ModMain;
}

namespace news {

// Where the extractions hand their items: the digest's OfferResult and OfferHeadline.
using OfferResultFn = std::function<void(const QString& line, const QString& subject)>;
using OfferHeadlineFn = std::function<void(const QString& headline)>;

// The volleyball league's results: one line per match row, offered with the subject "Volley".
void ExtractVolley(QStringView bodyText, const settings::ModMain& settings, const OfferResultFn& offerResult);

// The newspaper's Serie A or Serie B results: one line per match, offered with the subject
// "Calcio", followed by the scorers when TuttiGol is on.
void ExtractFootball(QStringView bodyText, const settings::ModMain& settings, const OfferResultFn& offerResult);

// The news site's home page: the first emphasised headline, or the link inside it.
void ExtractHeadline(QStringView bodyText, const OfferHeadlineFn& offerHeadline);

// A scorers cell made one line: "<br>", line breaks and tabs removed, runs of blanks halved
// ten times.
QString CleanScorers(QStringView cell);

} // namespace news
