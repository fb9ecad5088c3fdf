#pragma once

#include <QString>
#include <QTypeInfo>

#include <memory>
#include <variant>

namespace containers {

class Variant;

// Base of every object a Variant can refer to. Find asks the sought object's Equals;
// an object without one raises error 438.
class VObject : public std::enable_shared_from_this<VObject> {
public:
    virtual ~VObject() = default;
    // The answer may be any Variant; a null answer counts as false.
    virtual Variant Equals(const Variant& other);
};

using ObjectRef = std::shared_ptr<VObject>;

// The tagged value held by containers.
class Variant {
public:
    enum class Kind { Empty, Null, Boolean, Integer, Long, Double, Currency, Date, String, Object };

    Variant() = default;                 // Empty
    Variant(bool v);                     // Boolean
    Variant(qint16 v);                   // Integer
    Variant(int v);                      // Long
    Variant(double v);                   // Double
    Variant(const QString& v);           // String
    Variant(const char16_t* v);          // String
    Variant(const char* v);              // String (UTF-8), not the bool a pointer would make
    Variant(ObjectRef v);                // Object (may be the null object reference)
    template <class T>
    Variant(std::shared_ptr<T> v) : Variant(ObjectRef(std::move(v)))
    {
    }
    Variant(std::nullptr_t) = delete; // say Variant::NullObject() or Variant::Null()
    template <class T>
    Variant(T*) = delete; // a raw pointer would silently become a Boolean

    static Variant Null();
    static Variant NullObject();
    static Variant FromCurrency(qint64 tenThousandths);
    static Variant FromDate(double days);

    Variant(const Variant&) = default;
    Variant(Variant&&) noexcept = default;
    Variant& operator=(const Variant&) = default;
    Variant& operator=(Variant&&) noexcept = default;

    Kind Type() const { return Kind(m_value.index()); }
    bool IsEmpty() const { return Type() == Kind::Empty; }
    bool IsNull() const { return Type() == Kind::Null; }
    // True for an object reference, the null object reference included.
    bool IsObject() const { return Type() == Kind::Object; }
    bool IsNumeric() const;

    // Numeric value of a numeric kind (Boolean true is -1, Date its days); 0 for
    // anything else.
    double ToDouble() const;
    // The stored ten-thousandths of a Currency; 0 for any other kind.
    qint64 CurrencyUnits() const;
    // As a test needs it: numbers are true when not 0, empty and null false, a text must
    // read True/False or a number; an object reference or any other text raises error 13.
    bool ToBool() const;
    // The text form used by List: text as it is, empty and null give the empty text;
    // Integer/Long/Currency in decimal with '.' ("-12", "3.25"), Double with up to 15
    // significant digits ("0.1", "1e+20"), Boolean "True"/"False", Date as
    // "yyyy-MM-dd HH:mm:ss" (date alone at midnight, time alone on day 0). The forms do
    // not follow the user's locale so stored and compared texts stay stable. An object
    // reference has no text: error 13.
    QString ToText() const;
    ObjectRef ToObject() const;
    template <class T>
    std::shared_ptr<T> ObjectAs() const
    {
        return std::dynamic_pointer_cast<T>(ToObject());
    }

    // Exchanges two values without copying texts or touching reference counts.
    friend void swap(Variant& a, Variant& b) noexcept { a.m_value.swap(b.m_value); }

    // The text when the kind is String, else nullptr: lets the comparisons work on the
    // stored text in place.
    const QString* TextIf() const noexcept
    {
        return std::get_if<QString>(&m_value);
    }

private:
    struct NullValue {
    };
    struct CurrencyValue {
        qint64 tenThousandths;
    };
    struct DateValue {
        double days;
    };
    // One alternative per Kind, in the order of Kind: the index is the kind, which keeps
    // a value at 32 bytes.
    std::variant<std::monostate, NullValue, bool, qint16, qint32, double, CurrencyValue, DateValue, QString,
                 ObjectRef>
        m_value;
};

} // namespace containers

// Texts and shared references move in memory without fix-ups, so a growing container
// can move its storage with realloc instead of element by element.
Q_DECLARE_TYPEINFO(containers::Variant, Q_RELOCATABLE_TYPE);

namespace containers {

// Comparison tests of the container. Null makes every test false.
// Object references: two of them are equal when they refer to the same object (two null
// references are equal), an object and a plain value are never equal, and ordering a
// pair that holds an object raises the type-mismatch error (13).
bool Equal(const Variant& a, const Variant& b);
bool Unequal(const Variant& a, const Variant& b);
bool LessOrEqual(const Variant& a, const Variant& b);

// The same tests with the text-to-text case inlined, for the container's loops.
inline bool LessOrEqualFast(const Variant& a, const Variant& b)
{
    const QString* ta = a.TextIf();
    const QString* tb = b.TextIf();
    if (ta && tb)
        return QString::compare(*ta, *tb, Qt::CaseSensitive) <= 0;
    return LessOrEqual(a, b);
}

inline bool UnequalFast(const Variant& a, const Variant& b)
{
    const QString* ta = a.TextIf();
    const QString* tb = b.TextIf();
    if (ta && tb)
        return *ta != *tb;
    return Unequal(a, b);
}

inline bool EqualFast(const Variant& a, const Variant& b)
{
    const QString* ta = a.TextIf();
    const QString* tb = b.TextIf();
    if (ta && tb)
        return *ta == *tb;
    return Equal(a, b);
}

} // namespace containers
