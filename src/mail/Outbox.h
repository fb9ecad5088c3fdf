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

// How a session that did not deliver its message ends. The SMTP session reports it, and so does
// any step that can stop a message on its way (checks of the settings, a sign-in).
enum class Outcome {
    // The network, a 4xx reply, a silence: tried again on the back-off schedule until RetryHours.
    Temporary,
    // Something only the user can mend (a setting, a password, a certificate): the message waits,
    // also across restarts, and the clock never tries it again. It goes again when the user says
    // so: OK in the configuration dialog (ReleaseHeld) or "Riprova ora" on its line (RetryNow).
    Held,
    // Refused for good (a 5xx to the message): it ends now.
    Final,
};

// The outgoing queue mailQueue and the status lines that tie each record to its line.
//
// Without a clock and the settings every Temporary outcome is final. With a store, every waiting
// record (held ones included) is kept on disk until it ends. A record's own line always tells
// its state: "QUEUED - ", "RETRY hh:mm - ", "HELD - ", "CANCELLED - ", and at its end "OK - " or
// "ERR - ", each followed by the same rest of the line.
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

    // The end of the session of the record in flight, when it was not delivered. The first lists
    // "ERR - " + reason at the top; the second lists the server's reply as received at the end.
    // For Held, reason is one Italian sentence that says what the user can do; it is listed
    // once, and every other waiting record is held with it, since it would meet the same wall.
    void ReportError(const QString& reason, Outcome outcome = Outcome::Temporary);
    void ReportRefusal(const QString& reply, Outcome outcome);

    // Calling back the record of a QUEUED, RETRY or HELD line.
    enum class CallBackResult { NoRecord, InSession, CalledBack };
    CallBackResult CallBack(int line);
    CallBackResult WhatCallBackWouldDo(int line) const;

    // "Riprova ora": the record of a HELD or RETRY line goes on the next tick (a RETRY keeps its
    // count of attempts, so the schedule goes on from there). False when the line has none.
    bool RetryNow(int line);
    bool CanRetryNow(int line) const;
    // OK in the configuration dialog: every held record goes again. Returns how many.
    int ReleaseHeld();

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
    static QString HeldLine(const CMessaggio& record);
    static QString ErrLine(const CMessaggio& record); // the own line of a message that ended undelivered

private:
    static QString LineRest(const CMessaggio& record, const QString& separator);
    // The outcome of the session of the record in flight.
    void EndInFlight(Outcome outcome, const QString& reason);
    void Retry(const std::shared_ptr<CMessaggio>& record, const QString& reason);
    void Hold(const std::shared_ptr<CMessaggio>& record);
    void Release(CMessaggio& record);
    void End(CMessaggio& record);
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
