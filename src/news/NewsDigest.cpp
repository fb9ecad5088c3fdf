#include "NewsDigest.h"

#include "settings/modMain.h"
#include "mail/CMessaggio.h"

namespace news {

NewsDigest::NewsDigest(mail::Outbox& outbox, const settings::ModMain& settings, const platform::IClock& clock,
                       std::function<QString()> senderName, std::function<void(const QString&)> setCaption)
    : m_outbox(outbox), m_settings(settings), m_clock(clock), m_senderName(std::move(senderName)),
      m_setCaption(std::move(setCaption))
{
}

bool NewsDigest::IsSeen(const QString& item) const
{
    return m_seenIndex.contains(item);
}

void NewsDigest::Remember(const QString& item)
{
    newsSeen.AddValue(containers::Variant(item));
    m_seenIndex.insert(item);
}

void NewsDigest::OfferResult(const QString& line, const QString& subject)
{
    // Dropped for length: left unrecorded, so the next fetch of the page offers it again.
    if (!newsText.isEmpty() && newsText.size() + kItemSeparator.size() + line.size() > kNewsTextLimit)
        return;
    if (IsSeen(line))
        return;
    Remember(line);
    if (newsText.isEmpty())
        newsText = line;
    else
        newsText += kItemSeparator + line;
    newsSubject = subject;
}

void NewsDigest::OfferHeadline(const QString& headline)
{
    if (IsSeen(headline)) {
        newsText.clear();
        return;
    }
    Remember(headline);
    newsText = headline;
    newsSubject = kSubjectNews;
}

bool IsRecipientSlotUsed(const QString& slot)
{
    for (QChar c : slot)
        if (c != QLatin1Char(' '))
            return true;
    return false;
}

void NewsDigest::DeliverNews(const QString& subject, const QString& text)
{
    if (m_setCaption)
        m_setCaption(text);
    const QString senderName = m_senderName ? m_senderName() : QString();
    for (const QString& slot : m_settings.NewsDest) {
        if (!IsRecipientSlotUsed(slot))
            continue;
        auto record = std::make_shared<mail::CMessaggio>();
        record->mailFrom = m_settings.From;
        record->mailFromName = senderName;
        record->mailSubject = subject;
        record->mailText = text;
        record->mailTimeCreated = m_clock.Now();
        record->mailTo = slot;
        record->mailToNick = slot;
        m_outbox.Enqueue(record, mail::kNewsSeparator);
    }
}

} // namespace news
