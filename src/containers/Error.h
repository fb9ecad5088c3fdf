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
constexpr qint32 kObjectNotSetErrorNumber = 91;
constexpr qint32 kOutOfMemoryErrorNumber = 7;

// Errors of the container itself carry its class name as source; the general errors
// (subscript, overflow, missing method, ...) carry the program's name.
Error BoundError();        // kBoundErrorNumber, "CArray", "Out of bound"
Error SortRefusalError();  // kBoundErrorNumber, "CArray", "Non è possibile ordinare elementi oggetto!"
Error SubscriptError();    // 9, "Subscript out of range"
Error OverflowError();     // 6, "Overflow"
Error NoMethodError();     // 438, "Object doesn't support this property or method"
Error TypeMismatchError(); // 13, "Type mismatch"
Error ObjectNotSetError(); // 91, "Object variable or With block variable not set"
Error OutOfMemoryError();  // 7, "Out of memory"

} // namespace containers
