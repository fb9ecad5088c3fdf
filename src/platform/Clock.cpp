#include "Clock.h"

#include <cmath>

namespace platform {

namespace {
const QDate kEpoch(1899, 12, 30);
constexpr double kMsPerDay = 86400000.0;
} // namespace

double SystemClock::Now() const
{
    return ToDays(QDateTime::currentDateTime());
}

double ToDays(const QDateTime& localTime)
{
    const qint64 days = kEpoch.daysTo(localTime.date());
    const double fraction = localTime.time().msecsSinceStartOfDay() / kMsPerDay;
    return static_cast<double>(days) + fraction;
}

QDateTime FromDays(double days)
{
    const double whole = std::floor(days);
    const qint64 ms = std::llround((days - whole) * kMsPerDay);
    return QDateTime(kEpoch.addDays(static_cast<qint64>(whole)), QTime::fromMSecsSinceStartOfDay(0)).addMSecs(ms);
}

} // namespace platform
