#include "Timer.h"

namespace platform {

QtTimer::QtTimer(QObject* parent) : ITimer(parent)
{
    connect(&m_timer, &QTimer::timeout, this, &ITimer::timeout);
}

void QtTimer::Start(int intervalMs, bool singleShot)
{
    m_timer.setSingleShot(singleShot);
    m_timer.start(intervalMs);
}

void QtTimer::Stop()
{
    m_timer.stop();
}

bool QtTimer::IsActive() const
{
    return m_timer.isActive();
}

} // namespace platform
