#pragma once

#include <QString>

#include <exception>

namespace containers {

// An error as the container raises it: a number, a source and a description.
class Error : public std::exception {
public:
    Error(qint32 number, QString source, QString description)
        : m_number(number), m_source(std::move(source)), m_description(std::move(description))
    {
    }
    qint32 Number() const noexcept { return m_number; }
    const QString& Source() const noexcept { return m_source; }
    const QString& Description() const noexcept { return m_description; }
    const char* what() const noexcept override { return "containers::Error"; }

private:
    qint32 m_number;
    QString m_source;
    QString m_description;
};

// 0x80040000 as a signed 32-bit value.
constexpr qint32 kBoundErrorNumber = static_cast<qint32>(0x80040000u);
constexpr qint32 kSubscriptErrorNumber = 9;
constexpr qint32 kOverflowErrorNumber = 6;
constexpr qint32 kNoMethodErrorNumber = 438;
constexpr qint32 kTypeMismatchErrorNumber = 13;

} // namespace containers
