#include "Outbox.h"

#include "platform/Clock.h"
#include "settings/modMain.h"

#include <QDir>
#include <QSet>
#include <QUuid>

#include <algorithm>

namespace mail {

namespace {
constexpr qsizetype kPreviewLength = 50;
const QString kQueuedPrefix = QStringLiteral("QUEUED - ");
} // namespace

Outbox::Outbox(IStatusList& lstLog) : m_lstLog(lstLog) {}

Outbox::Outbox(IStatusList& lstLog, const platform::IClock& clock, const settings::ModMain& settings,
               OutboxStore* store)
    : m_lstLog(lstLog), m_clock(&clock), m_settings(&settings), m_store(store)
{
}

int Outbox::Restore()
{
    if (!m_store)
        return 0;
    OutboxStore::Loaded loaded = m_store->Load();
    if (!loaded.damaged.isEmpty())
        InsertTop(QStringLiteral("ERR - File illeggibili della posta in uscita spostati in %1: %2")
                      .arg(QDir::toNativeSeparators(m_store->DamagedDirectory()), loaded.damaged.join(QStringLiteral(", "))));
    const double now = m_clock ? m_clock->Now() : 0;
    for (const std::shared_ptr<CMessaggio>& record : loaded.records) {
        m_nextSequence = std::max(m_nextSequence, record->mailSequence + 1);
        record->mailID = m_lstLog.LineCount();
        m_mailQueue.AddValue(containers::Variant(record));
        const bool waiting = record->mailAttempts > 0 && record->mailNextAttempt > now;
        m_lstLog.InsertLine(record->mailID, record->mailHeld ? HeldLine(*record)
                                : waiting                    ? RetryLine(*record)
                                                             : QueuedLine(*record, record->mailSeparator));
    }
    return static_cast<int>(loaded.records.size());
}

void Outbox::Enqueue(const std::shared_ptr<CMessaggio>& record, const QString& previewSeparator)
{
    if (record->mailUid.isEmpty())
        record->mailUid = QUuid::createUuid().toString(QUuid::WithoutBraces);
    record->mailSeparator = previewSeparator;
    record->mailSequence = m_nextSequence++;
    // On disk before it is shown as queued: from its line on, the user counts on it.
    Persist(*record);
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
    Forget(record);
    if (m_inFlight.lock().get() == &record)
        m_inFlight.reset();
}

void Outbox::ReportRefusal(const QString& reply, Outcome outcome)
{
    m_lstLog.InsertLine(m_lstLog.LineCount(), reply);
    EndInFlight(outcome, reply.simplified());
}

void Outbox::ReportError(const QString& reason, Outcome outcome)
{
    InsertTop(QStringLiteral("ERR - ") + reason);
    EndInFlight(outcome, reason);
}

void Outbox::InsertTop(const QString& line)
{
    m_lstLog.InsertLine(0, line);
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

void Outbox::EndInFlight(Outcome outcome, const QString& reason)
{
    const std::shared_ptr<CMessaggio> record = m_inFlight.lock();
    m_inFlight.reset();
    if (!record)
        return;
    if (outcome == Outcome::Held) {
        record->mailLastReason = reason;
        Hold(record);
        // The others would go to the same server with the same settings: they wait too, rather
        // than ask the same question or meet the same refusal one after the other.
        for (qint32 i = m_mailQueue.LowerBound(); i <= m_mailQueue.UpperBound(); ++i)
            if (const auto waiting = m_mailQueue.Value(i).ObjectAs<CMessaggio>(); waiting && !waiting->mailHeld)
                Hold(waiting);
    } else if (outcome == Outcome::Temporary && m_clock && m_settings && m_settings->RetryHours > 0) {
        Retry(record, reason);
    } else {
        End(*record);
    }
}

void Outbox::Hold(const std::shared_ptr<CMessaggio>& record)
{
    record->mailHeld = true;
    Persist(*record);
    ReplaceOwnLine(*record, HeldLine(*record));
    if (IndexOfRecord(*record) < 0)
        m_mailQueue.AddValue(containers::Variant(record));
}

void Outbox::Release(CMessaggio& record)
{
    if (record.mailHeld) {
        record.mailHeld = false;
        // A new start: the user mended what held it, so the retries get their whole window again.
        record.mailAttempts = 0;
        record.mailRetryFrom = m_clock ? m_clock->Now() : 0;
    }
    record.mailNextAttempt = 0;
    Persist(record);
    ReplaceOwnLine(record, QueuedLine(record, record.mailSeparator));
}

void Outbox::End(CMessaggio& record)
{
    // Its own line says it has left the queue, so nobody waits for it or tries to call it back.
    ReplaceOwnLine(record, ErrLine(record));
    Forget(record);
    RemoveFromQueue(record);
}

bool Outbox::CanRetryNow(int line) const
{
    const qint32 index = line < 0 ? -1 : IndexOfLine(line);
    if (index < 0)
        return false;
    const auto record = m_mailQueue.Value(index).ObjectAs<CMessaggio>();
    return record->mailHeld || record->mailAttempts > 0;
}

bool Outbox::RetryNow(int line)
{
    if (!CanRetryNow(line))
        return false;
    Release(*m_mailQueue.Value(IndexOfLine(line)).ObjectAs<CMessaggio>());
    return true;
}

int Outbox::ReleaseHeld()
{
    int released = 0;
    for (qint32 i = m_mailQueue.LowerBound(); i <= m_mailQueue.UpperBound(); ++i) {
        const auto record = m_mailQueue.Value(i).ObjectAs<CMessaggio>();
        if (record && record->mailHeld) {
            Release(*record);
            ++released;
        }
    }
    return released;
}

void Outbox::Retry(const std::shared_ptr<CMessaggio>& record, const QString& reason)
{
    const double now = m_clock->Now();
    // Counted from when the message became due, so a long waiting time leaves room for retries.
    const double due = record->mailRetryFrom > 0
        ? record->mailRetryFrom
        : record->mailTimeCreated + std::max(0, m_settings->TempoAttesa) / platform::kSecondsPerDay;
    const double deadline = due + m_settings->RetryHours / 24.0;
    record->mailLastReason = reason;
    if (now >= deadline) {
        End(*record);
        InsertTop(QStringLiteral("ERR - Non consegnato in %1 ore: ").arg(m_settings->RetryHours) + reason);
        return;
    }
    ++record->mailAttempts;
    const int delay = m_retryDelays.empty()
        ? 0
        : m_retryDelays[std::min<size_t>(static_cast<size_t>(record->mailAttempts - 1), m_retryDelays.size() - 1)];
    // The last attempt falls on the deadline itself rather than past it.
    record->mailNextAttempt = std::min(now + delay / platform::kSecondsPerDay, deadline);
    Persist(*record);
    ReplaceOwnLine(*record, RetryLine(*record));
    if (IndexOfRecord(*record) < 0)
        m_mailQueue.AddValue(containers::Variant(record));
}

void Outbox::Forget(const CMessaggio& record)
{
    if (m_store)
        m_store->Remove(record.mailUid);
}

void Outbox::Persist(const CMessaggio& record)
{
    QString error;
    if (!m_store || m_store->Write(record, &error) || m_toldNotWritable)
        return;
    // Once is enough: the user knows, and every message still goes from memory.
    m_toldNotWritable = true;
    InsertTop(QStringLiteral("ERR - Impossibile scrivere la cartella della posta in uscita %1 (%2): "
                             "i messaggi in coda non sopravviveranno a un riavvio")
                  .arg(QDir::toNativeSeparators(m_store->Directory()), error));
}

void Outbox::ReplaceOwnLine(CMessaggio& record, const QString& text)
{
    if (record.mailID >= 0 && record.mailID < m_lstLog.LineCount()) {
        m_lstLog.ReplaceLine(record.mailID, text);
        return;
    }
    // "Clear" took its line while it was in session: it gets a new one at the end.
    record.mailID = m_lstLog.LineCount();
    m_lstLog.InsertLine(record.mailID, text);
}

qint32 Outbox::IndexOfRecord(const CMessaggio& record) const
{
    for (qint32 i = m_mailQueue.LowerBound(); i <= m_mailQueue.UpperBound(); ++i)
        if (m_mailQueue.Value(i).ObjectAs<CMessaggio>().get() == &record)
            return i;
    return -1;
}

void Outbox::RemoveFromQueue(const CMessaggio& record)
{
    const qint32 index = IndexOfRecord(record);
    if (index >= 0)
        m_mailQueue.Remove(index);
}

qint32 Outbox::IndexOfLine(int line) const
{
    for (qint32 i = m_mailQueue.LowerBound(); i <= m_mailQueue.UpperBound(); ++i) {
        const auto record = m_mailQueue.Value(i).ObjectAs<CMessaggio>();
        if (record && record->mailID == line)
            return i;
    }
    return -1;
}

Outbox::CallBackResult Outbox::WhatCallBackWouldDo(int line) const
{
    if (line < 0)
        return CallBackResult::NoRecord;
    if (IndexOfLine(line) >= 0)
        return CallBackResult::CalledBack;
    const auto inFlight = m_inFlight.lock();
    if (inFlight && inFlight->mailID == line)
        return CallBackResult::InSession;
    return CallBackResult::NoRecord;
}

Outbox::CallBackResult Outbox::CallBack(int line)
{
    const CallBackResult result = WhatCallBackWouldDo(line);
    if (result != CallBackResult::CalledBack)
        return result;
    const std::shared_ptr<CMessaggio> record = m_mailQueue.Remove(IndexOfLine(line)).ObjectAs<CMessaggio>();
    Forget(*record);
    m_lstLog.ReplaceLine(line, CancelledLine(*record));
    return result;
}

void Outbox::DiscardQueued()
{
    for (qint32 i = m_mailQueue.LowerBound(); i <= m_mailQueue.UpperBound(); ++i)
        if (const auto record = m_mailQueue.Value(i).ObjectAs<CMessaggio>())
            Forget(*record);
    m_mailQueue.Clear();
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

QString Outbox::LineRest(const CMessaggio& record, const QString& separator)
{
    return record.mailToNick + QLatin1Char(' ') + record.mailTo + QStringLiteral(" - ") + Preview(record, separator);
}

QString Outbox::QueuedLine(const CMessaggio& record, const QString& separator)
{
    return kQueuedPrefix + LineRest(record, separator);
}

QString Outbox::OkLine(const CMessaggio& record)
{
    return QStringLiteral("OK - ") + LineRest(record, kNewsSeparator);
}

QString Outbox::RetryLine(const CMessaggio& record)
{
    return QStringLiteral("RETRY ") + platform::FromDays(record.mailNextAttempt).toString(QStringLiteral("hh:mm"))
        + QStringLiteral(" - ") + LineRest(record, record.mailSeparator);
}

QString Outbox::CancelledLine(const CMessaggio& record)
{
    return QStringLiteral("CANCELLED - ") + LineRest(record, record.mailSeparator);
}

QString Outbox::HeldLine(const CMessaggio& record)
{
    return QStringLiteral("HELD - ") + LineRest(record, record.mailSeparator);
}

QString Outbox::ErrLine(const CMessaggio& record)
{
    return QStringLiteral("ERR - ") + LineRest(record, record.mailSeparator);
}

} // namespace mail
