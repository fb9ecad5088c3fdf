#pragma once

#include <QDateTime>
#include <QTimeZone>

namespace platform {

// Local time as a floating-point number of days since 30 December 1899: the whole part
// is the date, the fraction the time of day. Waiting times are computed in this form.
class IClock {
public:
    virtual ~IClock() = default;
    virtual double Now() const = 0;
};

class SystemClock final : public IClock {
public:
    double Now() const override;
};

double ToDays(const QDateTime& localTime);
// The wall-clock date and time the days stand for, in local time or in the given zone.
QDateTime FromDays(double days);
QDateTime FromDays(double days, const QTimeZone& zone);

constexpr double kSecondsPerDay = 86400.0;

} // namespace platform
