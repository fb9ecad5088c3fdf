#pragma once

#include "containers/CArray.h"
#include "mail/Outbox.h"
#include "platform/Clock.h"

#include <functional>

namespace app {
struct ModMain;
}

namespace news {

// Joins new items of one page into one short text and queues it for every news recipient.
class NewsDigest {
public:
    NewsDigest(mail::Outbox& outbox, const app::ModMain& settings, const platform::IClock& clock,
               std::function<QString()> senderName, std::function<void(const QString&)> setCaption);

    void OfferResult(const QString& line, const QString& subject);
    void OfferHeadline(const QString& headline);
    void DeliverNews(const QString& subject, const QString& text);

    containers::CArray newsSeen;
    QString newsText;
    QString newsSubject;
};

} // namespace news
