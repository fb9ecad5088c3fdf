#pragma once

#include "containers/CArray.h"
#include "mail/Outbox.h"
#include "platform/Clock.h"

#include <QSet>

#include <functional>

namespace settings {
struct ModMain;
}

namespace news {

// Subjects of the news messages.
inline const QString kSubjectVolley = QStringLiteral("Volley");
inline const QString kSubjectCalcio = QStringLiteral("Calcio");
inline const QString kSubjectNews = QStringLiteral("News");
// Between two items of one news text.
inline const QString kItemSeparator = QStringLiteral(" --- ");
// A further item joins the text only while the text stays within this many characters.
constexpr qsizetype kNewsTextLimit = 140;

// Joins new items of one page into one short text and queues it for every news recipient.
class NewsDigest {
public:
    NewsDigest(mail::Outbox& outbox, const settings::ModMain& settings, const platform::IClock& clock,
               std::function<QString()> senderName, std::function<void(const QString&)> setCaption);

    void OfferResult(const QString& line, const QString& subject);
    void OfferHeadline(const QString& headline);
    void DeliverNews(const QString& subject, const QString& text);

    // True when the item was taken into a news text earlier in this run.
    bool IsSeen(const QString& item) const;

    // Every item taken into a news text since the window loaded; only grows.
    containers::CArray newsSeen;
    // The working text and subject of the page being processed.
    QString newsText;
    QString newsSubject;

private:
    void Remember(const QString& item);

    mail::Outbox& m_outbox;
    const settings::ModMain& m_settings;
    const platform::IClock& m_clock;
    std::function<QString()> m_senderName;
    std::function<void(const QString&)> m_setCaption;
    // Mirrors newsSeen for the membership test: a results page offers hundreds of lines, and
    // a linear Find over a list that grows all day would make every page quadratic.
    QSet<QString> m_seenIndex;
};

// Recipient slot i holds an address when its text, blanks at the ends removed, is not empty.
bool IsRecipientSlotUsed(const QString& slot);

} // namespace news
