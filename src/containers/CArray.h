#pragma once

#include "Error.h"
#include "Variant.h"

#include <QList>

#include <limits>
#include <memory>
#include <utility>

namespace containers {

// Ordered, index-addressed, growable sequence of Variant values; the lower bound is 0
// unless its owner sets another. Errors are thrown as containers::Error.
//
// Arguments outside the ranges callers keep to are rejected before anything changes:
// - Remove at an index inside the storage's spare slots (above the upper bound):
//   the bound error; outside the storage: the subscript error (9).
// - Insert below the lower bound: the subscript error (9); above the upper bound + 1:
//   the bound error.
// - UpperBound assignment below the lower bound - 1 (a negative Count): the bound error.
// - LowerBound assignment of -2147483648 (its upper bound would overflow): the overflow
//   error (6), bounds and contents kept.
// A storage that cannot be allocated raises error 7 ("Out of memory"), bounds kept.
class CArray : public VObject {
public:
    static constexpr qint32 kNoDefault = std::numeric_limits<qint32>::min();

    CArray();

    void Clear();
    qint32 Count() const;

    Variant Value(qint32 index) const;
    // Plain values are copied, object references shared.
    void SetValue(qint32 index, const Variant& v);
    // Value is the default member.
    Variant operator[](qint32 index) const { return Value(index); }

    void AddValue(const Variant& v);
    void AddValue(Variant&& v);
    qint32 Find(const Variant& v, qint32 Default = kNoDefault) const;
    Variant PopValue();
    Variant Remove(qint32 index);
    qint32 RemoveValue(const Variant& value);
    QString List(const Variant& Separator = Variant(QStringLiteral(", "))) const;

    qint32 LowerBound() const { return m_lowerBound; }
    void SetLowerBound(qint32 lowerBound);
    qint32 UpperBound() const { return m_upperBound; }
    void SetUpperBound(qint32 newUpperBound);

    void Insert(const Variant& v, qint32 index);
    void Fill(const Variant& v);
    std::shared_ptr<CArray> Clone() const;
    bool Equals(const CArray* c) const;
    // Keeps a call on a non-const container from weighing the object form against this.
    bool Equals(const CArray* c) { return std::as_const(*this).Equals(c); }
    // The object form Find calls: c holds a CArray reference (or the null reference).
    Variant Equals(const Variant& c) override;
    void Swap(qint32 index1, qint32 index2);
    void Sort();

private:
    void SortRange(qint32 lo, qint32 hi);
    qsizetype Slot(qint32 index) const { return qsizetype(index) - m_lowerBound; }
    bool InBounds(qint32 index) const { return index >= m_lowerBound && index <= m_upperBound; }
    // Grows by one element, stores v there (the storage resized to the exact range).
    template <class V>
    void Append(V&& v);
    // Resizes the storage to span lower bound .. max(newUpperBound, lower bound).
    void ResizeFor(qint32 newUpperBound);

    // m_storage[0] is the slot of the lower bound; it may hold spare slots above the
    // upper bound (after Remove and PopValue), which an UpperBound assignment revives.
    QList<Variant> m_storage;
    qint32 m_lowerBound = 0;
    qint32 m_upperBound = -1;
};

} // namespace containers
