#include "Dispatcher.h"

#include "settings/modMain.h"

namespace mail {

Dispatcher::Dispatcher(Outbox& outbox, SmtpSession& session, const settings::ModMain& settings,
                       const platform::IClock& clock)
    : m_outbox(outbox), m_session(session), m_settings(settings), m_clock(clock)
{
}

void Dispatcher::Timer1_Timer()
{
    if (m_session.SendState() != 0 || exitPending)
        return;
    containers::CArray& mailQueue = m_outbox.mailQueue();
    const qint32 upper = mailQueue.UpperBound();
    for (qint32 i = 0; i <= upper; ++i) {
        const std::shared_ptr<CMessaggio> record = mailQueue.Value(i).ObjectAs<CMessaggio>();
        if (!record)
            continue;
        // Read afresh for every record, and TempoAttesa too, so a changed setting applies at once.
        const double dueLimit = m_clock.Now() - m_settings.TempoAttesa / platform::kSecondsPerDay;
        if (record->mailTimeCreated < dueLimit) {
            m_session.StartSending(record);
            mailQueue.Remove(i);
            return;
        }
    }
}

} // namespace mail
