#include "Variant.h"

#include "Error.h"

#include <QDate>
#include <QTime>

#include <cmath>

namespace containers {

namespace {

const QString kProgram = QStringLiteral("Brevilo");

enum class Order { Less, Same, Greater, None };

template <class T>
Order OrderOf(const T& a, const T& b)
{
    if (a < b)
        return Order::Less;
    if (b < a)
        return Order::Greater;
    return a == b ? Order::Same : Order::None; // None only for NaN
}

} // namespace

Error BoundError()
{
    return Error(kBoundErrorNumber, QStringLiteral("CArray"), QStringLiteral("Out of bound"));
}

Error SortRefusalError()
{
    return Error(kBoundErrorNumber, QStringLiteral("CArray"),
                 QStringLiteral("Non è possibile ordinare elementi oggetto!"));
}

Error SubscriptError()
{
    return Error(kSubscriptErrorNumber, kProgram, QStringLiteral("Subscript out of range"));
}

Error OverflowError()
{
    return Error(kOverflowErrorNumber, kProgram, QStringLiteral("Overflow"));
}

Error NoMethodError()
{
    return Error(kNoMethodErrorNumber, kProgram, QStringLiteral("Object doesn't support this property or method"));
}

Error TypeMismatchError()
{
    return Error(kTypeMismatchErrorNumber, kProgram, QStringLiteral("Type mismatch"));
}

Error ObjectNotSetError()
{
    return Error(kObjectNotSetErrorNumber, kProgram,
                 QStringLiteral("Object variable or With block variable not set"));
}

Error OutOfMemoryError()
{
    return Error(kOutOfMemoryErrorNumber, kProgram, QStringLiteral("Out of memory"));
}

Variant VObject::Equals(const Variant&)
{
    throw NoMethodError();
}

static_assert(sizeof(Variant) <= 32);

Variant::Variant(bool v) : m_value(std::in_place_type<bool>, v) {}
Variant::Variant(qint16 v) : m_value(std::in_place_type<qint16>, v) {}
Variant::Variant(int v) : m_value(std::in_place_type<qint32>, v) {}
Variant::Variant(double v) : m_value(std::in_place_type<double>, v) {}
Variant::Variant(const QString& v) : m_value(std::in_place_type<QString>, v) {}
Variant::Variant(const char16_t* v) : m_value(std::in_place_type<QString>, QString::fromUtf16(v)) {}
Variant::Variant(const char* v) : m_value(std::in_place_type<QString>, QString::fromUtf8(v)) {}
Variant::Variant(ObjectRef v) : m_value(std::in_place_type<ObjectRef>, std::move(v)) {}

Variant Variant::Null()
{
    Variant v;
    v.m_value.emplace<NullValue>();
    return v;
}

Variant Variant::NullObject()
{
    return Variant(ObjectRef());
}

Variant Variant::FromCurrency(qint64 tenThousandths)
{
    Variant v;
    v.m_value.emplace<CurrencyValue>(CurrencyValue{tenThousandths});
    return v;
}

Variant Variant::FromDate(double days)
{
    Variant v;
    v.m_value.emplace<DateValue>(DateValue{days});
    return v;
}

bool Variant::IsNumeric() const
{
    switch (Type()) {
    case Kind::Boolean:
    case Kind::Integer:
    case Kind::Long:
    case Kind::Double:
    case Kind::Currency:
    case Kind::Date:
        return true;
    default:
        return false;
    }
}

double Variant::ToDouble() const
{
    switch (Type()) {
    case Kind::Boolean:
        return std::get<bool>(m_value) ? -1.0 : 0.0;
    case Kind::Integer:
        return std::get<qint16>(m_value);
    case Kind::Long:
        return std::get<qint32>(m_value);
    case Kind::Double:
        return std::get<double>(m_value);
    case Kind::Date:
        return std::get<DateValue>(m_value).days;
    case Kind::Currency:
        return double(std::get<CurrencyValue>(m_value).tenThousandths) / 10000.0;
    default:
        return 0.0;
    }
}

bool Variant::ToBool() const
{
    switch (Type()) {
    case Kind::Empty:
    case Kind::Null:
        return false;
    case Kind::Boolean:
        return std::get<bool>(m_value);
    case Kind::Currency:
        return std::get<CurrencyValue>(m_value).tenThousandths != 0;
    case Kind::String: {
        const QString t = std::get<QString>(m_value).trimmed();
        if (t.compare(QLatin1String("true"), Qt::CaseInsensitive) == 0)
            return true;
        if (t.compare(QLatin1String("false"), Qt::CaseInsensitive) == 0)
            return false;
        bool ok = false;
        const double d = t.toDouble(&ok);
        if (!ok)
            throw TypeMismatchError();
        return d != 0.0;
    }
    case Kind::Object:
        throw TypeMismatchError();
    default:
        return ToDouble() != 0.0;
    }
}

namespace {

QString CurrencyText(qint64 units)
{
    // Exact: the whole part and up to four decimals, trailing zeros dropped.
    const bool negative = units < 0;
    const quint64 magnitude = negative ? quint64(0) - quint64(units) : quint64(units);
    QString text = QString::number(magnitude / 10000u);
    quint64 fraction = magnitude % 10000u;
    if (fraction != 0) {
        QString decimals = QString::number(fraction).rightJustified(4, QLatin1Char('0'));
        while (decimals.endsWith(QLatin1Char('0')))
            decimals.chop(1);
        text += QLatin1Char('.') + decimals;
    }
    return negative ? QLatin1Char('-') + text : text;
}

QString DoubleText(double d)
{
    if (d == 0.0)
        return QStringLiteral("0"); // not "-0"
    return QString::number(d, 'g', 15);
}

QString DateText(double days)
{
    if (!std::isfinite(days) || std::fabs(days) > 3.0e6)
        return DoubleText(days); // no calendar date: show the number
    // Days before day 0 keep their time of day as a positive fraction.
    double whole = std::trunc(days);
    qint64 seconds = qint64(std::llround(std::fabs(days - whole) * 86400.0));
    if (seconds >= 86400) {
        seconds -= 86400;
        whole += days < 0 ? -1 : 1;
    }
    const QDate date = QDate(1899, 12, 30).addDays(qint64(whole));
    const QTime time = QTime(0, 0).addSecs(int(seconds));
    const QString dateText = date.toString(QStringLiteral("yyyy-MM-dd"));
    const QString timeText = time.toString(QStringLiteral("HH:mm:ss"));
    if (seconds == 0)
        return dateText;
    if (whole == 0)
        return timeText;
    return dateText + QLatin1Char(' ') + timeText;
}

} // namespace

QString Variant::ToText() const
{
    switch (Type()) {
    case Kind::Empty:
    case Kind::Null:
        return QString();
    case Kind::Boolean:
        return std::get<bool>(m_value) ? QStringLiteral("True") : QStringLiteral("False");
    case Kind::Integer:
        return QString::number(std::get<qint16>(m_value));
    case Kind::Long:
        return QString::number(std::get<qint32>(m_value));
    case Kind::Double:
        return DoubleText(std::get<double>(m_value));
    case Kind::Currency:
        return CurrencyText(std::get<CurrencyValue>(m_value).tenThousandths);
    case Kind::Date:
        return DateText(std::get<DateValue>(m_value).days);
    case Kind::String:
        return std::get<QString>(m_value);
    case Kind::Object:
        break;
    }
    throw TypeMismatchError();
}

qint64 Variant::CurrencyUnits() const
{
    const CurrencyValue* c = std::get_if<CurrencyValue>(&m_value);
    return c ? c->tenThousandths : 0;
}

ObjectRef Variant::ToObject() const
{
    const ObjectRef* o = std::get_if<ObjectRef>(&m_value);
    return o ? *o : ObjectRef();
}

namespace {

// Numbers are compared exactly in ten-thousandths while no floating-point kind takes
// part (every 32-bit integer fits), else as doubles.
bool IsExactKind(Variant::Kind k)
{
    return k != Variant::Kind::Double && k != Variant::Kind::Date;
}

qint64 Units(const Variant& v)
{
    if (v.Type() == Variant::Kind::Currency)
        return v.CurrencyUnits();
    return qint64(v.ToDouble()) * 10000;
}

Order CompareValues(const Variant& a, const Variant& b, bool ordering)
{
    using Kind = Variant::Kind;
    const Kind ka = a.Type();
    const Kind kb = b.Type();
    if (ka == Kind::Null || kb == Kind::Null)
        return Order::None;
    if (ka == Kind::Object || kb == Kind::Object) {
        if (ordering)
            throw TypeMismatchError();
        if (ka == Kind::Object && kb == Kind::Object && a.ToObject() == b.ToObject())
            return Order::Same;
        return Order::Greater; // only "unequal" is asked of this answer
    }
    const QString* ta = a.TextIf();
    const QString* tb = b.TextIf();
    if (ka == Kind::Empty && kb == Kind::Empty)
        return Order::Same;
    if (ta || tb) {
        if (ta && tb)
            return OrderOf(QString::compare(*ta, *tb, Qt::CaseSensitive), 0);
        if (ka == Kind::Empty)
            return tb->isEmpty() ? Order::Same : Order::Less;
        if (kb == Kind::Empty)
            return ta->isEmpty() ? Order::Same : Order::Greater;
        return ta ? Order::Greater : Order::Less; // a number is below every text
    }
    // Both numeric, or numeric against empty (which counts as 0).
    if (IsExactKind(ka) && IsExactKind(kb)) {
        return OrderOf(Units(a), Units(b));
    }
    return OrderOf(a.ToDouble(), b.ToDouble());
}

} // namespace

bool Equal(const Variant& a, const Variant& b)
{
    return CompareValues(a, b, false) == Order::Same;
}

bool Unequal(const Variant& a, const Variant& b)
{
    const Order o = CompareValues(a, b, false);
    return o == Order::Less || o == Order::Greater;
}

bool LessOrEqual(const Variant& a, const Variant& b)
{
    const Order o = CompareValues(a, b, true);
    return o == Order::Less || o == Order::Same;
}

} // namespace containers
