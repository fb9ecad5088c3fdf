#pragma once

#include "CMessaggio.h"
#include "StatusList.h"
#include "containers/CArray.h"

#include <memory>

namespace mail {

// Separator between subject and text in the preview of a queued line.
inline const QString kComposerSeparator = QStringLiteral(" ");
inline const QString kNewsSeparator = QStringLiteral(": ");

// The outgoing queue mailQueue and the status lines that tie each record to its line.
class Outbox {
public:
    explicit Outbox(IStatusList& lstLog);

    containers::CArray& mailQueue() { return m_mailQueue; }
    const containers::CArray& mailQueue() const { return m_mailQueue; }
    IStatusList& lstLog() { return m_lstLog; }

    // Queueing steps 2 to 4 for a record whose other fields are filled: mailID, append, queued line.
    void Enqueue(const std::shared_ptr<CMessaggio>& record, const QString& previewSeparator);

    // The record now in session; it has left the queue but its line may still move or vanish.
    void SetInFlight(const std::shared_ptr<CMessaggio>& record);

    void ReportDelivered(const CMessaggio& record); // OK line at the record's own line
    void ReportRefusal(const QString& reply);       // appended as received
    void ReportError(const QString& description);   // "ERR - " line at the top

    // "Clear": empties lstLog only while nothing waits in the queue; false when refused.
    bool ClearLog();

    static QString Preview(const CMessaggio& record, const QString& separator);
    static QString QueuedLine(const CMessaggio& record, const QString& separator);
    static QString OkLine(const CMessaggio& record);

private:
    IStatusList& m_lstLog;
    containers::CArray m_mailQueue;
    std::weak_ptr<CMessaggio> m_inFlight;
};

} // namespace mail
