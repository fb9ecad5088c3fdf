#pragma once

#include "CMessaggio.h"
#include "platform/Clock.h"

#include <QString>

namespace mail {

// log.txt: one entry per delivered message, appended and closed each time; failures are silent.
class SendLog {
public:
    SendLog(QString directory, const platform::IClock& clock);
    void WriteSendLog(const CMessaggio& currentMail);
    QString Path() const;
    // date-time + " " + mailTo + " " + mailToNick + " - " + mailSubject + " - " + mailText + CR LF,
    // on one line: breaks inside the fields become " / ", other control characters blanks
    QString Entry(const CMessaggio& currentMail) const;

private:
    QString m_directory;
    const platform::IClock& m_clock;
};

} // namespace mail
