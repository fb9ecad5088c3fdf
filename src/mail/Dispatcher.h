#pragma once

#include "Outbox.h"
#include "SmtpSession.h"
#include "platform/Clock.h"

namespace settings {
struct ModMain;
}

namespace mail {

// Timer1_Timer: starts a session for the first record older than TempoAttesa whose next
// attempt, after a temporary failure, has come. Held records are passed over.
class Dispatcher {
public:
    Dispatcher(Outbox& outbox, SmtpSession& session, const settings::ModMain& settings,
               const platform::IClock& clock);

    void Timer1_Timer();

    // True while the exit question is open, and from a confirmed exit on.
    bool exitPending = false;

private:
    Outbox& m_outbox;
    SmtpSession& m_session;
    const settings::ModMain& m_settings;
    const platform::IClock& m_clock;
};

} // namespace mail
