#pragma once

#include "CMessaggio.h"
#include "OutboxStore.h"
#include "StatusList.h"
#include "containers/CArray.h"

#include <memory>
#include <vector>

namespace platform {
class IClock;
}
namespace settings {
struct ModMain;
}

namespace mail {

// Separator between subject and text in the preview of a queued line.
inline const QString kComposerSeparator = QStringLiteral(" ");
inline const QString kNewsSeparator = QStringLiteral(": ");

// Waits before the attempts after a temporary failure, in seconds; the last one repeats.
inline const std::vector<int> kDefaultRetryDelays = {60, 120, 240, 480, 960, 1800};

// The outgoing queue mailQueue and the status lines that tie each record to its line.
//
// With a clock and the settings, a temporary failure (a 4xx reply, any "ERR - " outcome) keeps
// the record on the queue for a later attempt, until RetryHours after its creation; a 5xx
// reply stays final. With a store, every waiting record is also kept on disk until it ends.
class Outbox {
public:
    // Queue and lines only: every failure is final and nothing is kept on disk.
    explicit Outbox(IStatusList& lstLog);
    // store may be null (retries without a durable queue); all outlive the outbox.
    Outbox(IStatusList& lstLog, const platform::IClock& clock, const settings::ModMain& settings,
           OutboxStore* store = nullptr);

    containers::CArray& mailQueue() { return m_mailQueue; }
    const containers::CArray& mailQueue() const { return m_mailQueue; }
    IStatusList& lstLog() { return m_lstLog; }

    void SetRetryDelays(std::vector<int> seconds) { m_retryDelays = std::move(seconds); }

    // At start: queues again the records kept by the store, in creation order, with new lines.
    // Returns how many came back.
    int Restore();

    // Queueing steps 2 to 4 for a record whose other fields are filled: mailID, append, queued
    // line. The record is on disk before its line shows.
    void Enqueue(const std::shared_ptr<CMessaggio>& record, const QString& previewSeparator);

    // The record now in session; it has left the queue but its line may still move or vanish.
    void SetInFlight(const std::shared_ptr<CMessaggio>& record);

    void ReportDelivered(const CMessaggio& record); // OK line at the record's own line
    // Appended as received; keep: the message is not refused (a refused login), so it waits
    // for another attempt like after a 4xx.
    void ReportRefusal(const QString& reply, bool keep = false);
    // "ERR - " line at the top; final: the user said no, so the message is not tried again.
    void ReportError(const QString& description, bool final = false);

    // Calling back the record of a QUEUED or RETRY line.
    enum class CallBackResult { NoRecord, InSession, CalledBack };
    CallBackResult CallBack(int line);
    CallBackResult WhatCallBackWouldDo(int line) const;

    // A confirmed exit without sending: the waiting records leave the queue and the disk.
    void DiscardQueued();

    // "Clear": empties lstLog only while nothing waits in the queue; false when refused.
    bool ClearLog();

    static QString Preview(const CMessaggio& record, const QString& separator);
    static QString QueuedLine(const CMessaggio& record, const QString& separator);
    static QString OkLine(const CMessaggio& record);
    // "RETRY hh:mm - " and the rest of the queued line, hh:mm the next attempt.
    static QString RetryLine(const CMessaggio& record);
    static QString CancelledLine(const CMessaggio& record);

private:
    static QString LineRest(const CMessaggio& record, const QString& separator);
    // The outcome of the session of the record in flight; temporary failures may come back.
    void EndInFlight(bool temporary, const QString& reason);
    void Retry(const std::shared_ptr<CMessaggio>& record, const QString& reason);
    void Forget(const CMessaggio& record);
    void Persist(const CMessaggio& record);
    void ReplaceOwnLine(CMessaggio& record, const QString& text);
    // An "ERR - " line at the top; the records follow their lines down.
    void InsertTop(const QString& line);
    qint32 IndexOfLine(int line) const;
    qint32 IndexOfRecord(const CMessaggio& record) const;
    void RemoveFromQueue(const CMessaggio& record);

    IStatusList& m_lstLog;
    const platform::IClock* m_clock = nullptr;
    const settings::ModMain* m_settings = nullptr;
    OutboxStore* m_store = nullptr;
    std::vector<int> m_retryDelays = kDefaultRetryDelays;
    containers::CArray m_mailQueue;
    std::weak_ptr<CMessaggio> m_inFlight;
    qint64 m_nextSequence = 1;
    bool m_toldNotWritable = false;
};

} // namespace mail
