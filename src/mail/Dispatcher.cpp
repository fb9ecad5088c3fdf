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
        if (!record || record->mailHeld) // a held record waits for the user, not for the clock
            continue;
        // Read afresh for every record, and TempoAttesa too, so a changed setting applies at once.
        const double now = m_clock.Now();
        const double dueLimit = now - m_settings.TempoAttesa / platform::kSecondsPerDay;
        // A record waiting for its next attempt lets the others go first. The millisecond
        // allows for rounding in day arithmetic, which would otherwise cost a whole tick.
        if (record->mailTimeCreated < dueLimit && record->mailNextAttempt <= now + 0.001 / platform::kSecondsPerDay) {
            // Off the queue before the session starts: a failure reported at once may put it back.
            mailQueue.Remove(i);
            m_session.StartSending(record);
            return;
        }
    }
}

} // namespace mail
