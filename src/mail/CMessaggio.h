#pragma once

#include "containers/Variant.h"

#include <QString>

namespace mail {

// One message to send, filled by its producer before it is queued. Only the outbox changes it
// afterwards: the fields below mailUid are its bookkeeping for the outbox file and the retries.
class CMessaggio final : public containers::VObject {
public:
    QString mailToNick;
    QString mailTo;
    QString mailSubject;
    QString mailText;
    QString mailFrom;
    QString mailFromName;
    double mailTimeCreated = 0; // local date-time in days
    qint32 mailID = 0;          // index of its status line in lstLog
    // Names the message for its whole life, across retries and restarts; given when queued.
    QString mailUid;
    qint64 mailSequence = 0;   // order of queueing, for records made in the same instant
    QString mailSeparator;     // between subject and text in the preview of its lines
    qint32 mailAttempts = 0;   // temporary failures so far
    double mailNextAttempt = 0; // local date-time in days; 0 until the first temporary failure
    QString mailLastReason;     // of the latest temporary failure
    bool mailHeld = false;      // waits for the user: the clock does not try it again
    double mailRetryFrom = 0;   // start of the RetryHours window once the user let it go; 0: when due
};

} // namespace mail
