#pragma once

#include <QString>

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
    Variant(ObjectRef v);                // Object (may be the null object reference)
    template <class T>
    Variant(std::shared_ptr<T> v) : Variant(ObjectRef(std::move(v)))
    {
    }
    Variant(std::nullptr_t) = delete; // say Variant::NullObject() or Variant::Null()

    static Variant Null();
    static Variant NullObject();
    static Variant FromCurrency(qint64 tenThousandths);
    static Variant FromDate(double days);

    Kind Type() const { return m_kind; }
    bool IsEmpty() const { return m_kind == Kind::Empty; }
    bool IsNull() const { return m_kind == Kind::Null; }
    // True for an object reference, the null object reference included.
    bool IsObject() const { return m_kind == Kind::Object; }
    bool IsNumeric() const;

    // Numeric value of a numeric kind (Boolean true is -1); 0 for anything else.
    double ToDouble() const;
    bool ToBool() const;
    // The text form used by List: text as it is, empty and null give the empty text.
    QString ToText() const;
    ObjectRef ToObject() const;
    template <class T>
    std::shared_ptr<T> ObjectAs() const
    {
        return std::dynamic_pointer_cast<T>(ToObject());
    }

private:
    Kind m_kind = Kind::Empty;
    std::variant<std::monostate, bool, qint16, qint32, double, qint64, QString, ObjectRef> m_value;
};

// Comparison tests of the container. Null makes every test false.
bool Equal(const Variant& a, const Variant& b);
bool Unequal(const Variant& a, const Variant& b);
bool LessOrEqual(const Variant& a, const Variant& b);

} // namespace containers
