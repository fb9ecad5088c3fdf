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

QDateTime FromDays(double days, const QTimeZone& zone)
{
    // The fraction was read off the wall clock, so it is turned back into a wall-clock time of
    // day: counting elapsed time from midnight would be an hour off on the days clocks change.
    const double whole = std::floor(days);
    qint64 ms = std::llround((days - whole) * kMsPerDay);
    QDate date = kEpoch.addDays(static_cast<qint64>(whole));
    if (ms >= static_cast<qint64>(kMsPerDay)) { // rounded up to the next midnight
        date = date.addDays(1);
        ms = 0;
    }
    return QDateTime(date, QTime::fromMSecsSinceStartOfDay(static_cast<int>(ms)), zone);
}

QDateTime FromDays(double days)
{
    const QDateTime wall = FromDays(days, QTimeZone::utc());
    return QDateTime(wall.date(), wall.time());
}

} // namespace platform
