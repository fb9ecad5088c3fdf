#include "Outbox.h"

#include <QSet>
#include <QUuid>

namespace mail {

namespace {
constexpr qsizetype kPreviewLength = 50;
}

Outbox::Outbox(IStatusList& lstLog) : m_lstLog(lstLog) {}

void Outbox::Enqueue(const std::shared_ptr<CMessaggio>& record, const QString& previewSeparator)
{
    if (record->mailUid.isEmpty())
        record->mailUid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record->mailID = m_lstLog.LineCount();
    m_mailQueue.AddValue(containers::Variant(record));
    m_lstLog.InsertLine(record->mailID, QueuedLine(*record, previewSeparator));
}

void Outbox::SetInFlight(const std::shared_ptr<CMessaggio>& record)
{
    m_inFlight = record;
}

void Outbox::ReportDelivered(const CMessaggio& record)
{
    const QString line = OkLine(record);
    // Its line is gone when the list was cleared during the session: show the outcome anyway,
    // at the end, rather than over another record's line.
    if (record.mailID >= 0 && record.mailID < m_lstLog.LineCount())
        m_lstLog.ReplaceLine(record.mailID, line);
    else
        m_lstLog.InsertLine(m_lstLog.LineCount(), line);
}

void Outbox::ReportRefusal(const QString& reply)
{
    m_lstLog.InsertLine(m_lstLog.LineCount(), reply);
}

void Outbox::ReportError(const QString& description)
{
    m_lstLog.InsertLine(0, QStringLiteral("ERR - ") + description);
    // Every line moved down by one; the records whose lines still exist follow them,
    // so a later OK rewrites the record's own line and not its neighbour's.
    QSet<CMessaggio*> moved;
    auto follow = [&moved](const std::shared_ptr<CMessaggio>& record) {
        if (record && record->mailID >= 0 && !moved.contains(record.get())) {
            moved.insert(record.get());
            ++record->mailID;
        }
    };
    for (qint32 i = m_mailQueue.LowerBound(); i <= m_mailQueue.UpperBound(); ++i)
        follow(m_mailQueue.Value(i).ObjectAs<CMessaggio>());
    follow(m_inFlight.lock());
}

bool Outbox::ClearLog()
{
    if (m_mailQueue.Count() > 0)
        return false;
    m_lstLog.Clear();
    // The record in session lost its line; its outcome is appended when it comes.
    if (const auto inFlight = m_inFlight.lock())
        inFlight->mailID = -1;
    return true;
}

QString Outbox::Preview(const CMessaggio& record, const QString& separator)
{
    const QString whole = record.mailSubject + separator + record.mailText;
    qsizetype length = qMin(whole.size(), kPreviewLength);
    // Never cut a character made of two UTF-16 units in half.
    if (length < whole.size() && length > 0 && whole.at(length - 1).isHighSurrogate())
        --length;
    return whole.left(length);
}

QString Outbox::QueuedLine(const CMessaggio& record, const QString& separator)
{
    return QStringLiteral("QUEUED - ") + record.mailToNick + QLatin1Char(' ') + record.mailTo
        + QStringLiteral(" - ") + Preview(record, separator);
}

QString Outbox::OkLine(const CMessaggio& record)
{
    return QStringLiteral("OK - ") + record.mailToNick + QLatin1Char(' ') + record.mailTo
        + QStringLiteral(" - ") + Preview(record, kNewsSeparator);
}

} // namespace mail
