#pragma once

#include "containers/Variant.h"

#include <QString>

namespace mail {

// One message to send, filled by its producer before it is queued and never changed after.
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
};

} // namespace mail
