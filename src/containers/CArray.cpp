#include "CArray.h"

#include <algorithm>
#include <new>
#include <utility>

namespace containers {

namespace {

constexpr qint64 kMinInt32 = std::numeric_limits<qint32>::min();
constexpr qint64 kMaxInt32 = std::numeric_limits<qint32>::max();

qint32 Checked(qint64 value)
{
    if (value < kMinInt32 || value > kMaxInt32)
        throw OverflowError();
    return qint32(value);
}

} // namespace

CArray::CArray()
{
    Clear();
}

void CArray::Clear()
{
    // Swap first so the old elements are released while this container is consistent.
    QList<Variant> fresh(1);
    m_storage.swap(fresh);
    m_lowerBound = 0;
    m_upperBound = -1;
}

qint32 CArray::Count() const
{
    return Checked(qint64(m_upperBound) - m_lowerBound + 1);
}

Variant CArray::Value(qint32 index) const
{
    if (!InBounds(index))
        throw BoundError();
    return m_storage[Slot(index)];
}

void CArray::SetValue(qint32 index, const Variant& v)
{
    if (!InBounds(index))
        throw BoundError();
    m_storage[Slot(index)] = v;
}

void CArray::ResizeFor(qint32 newUpperBound)
{
    const qsizetype size = qsizetype(std::max(newUpperBound, m_lowerBound)) - m_lowerBound + 1;
    try {
        // QList keeps its capacity when it shrinks and grows it geometrically, so the
        // exact-size rule costs no reallocation per append.
        m_storage.resize(size);
    } catch (const std::bad_alloc&) {
        throw OutOfMemoryError();
    }
}

template <class V>
void CArray::Append(V&& v)
{
    if (m_upperBound == kMaxInt32)
        throw OverflowError();
    const qint32 newUpperBound = m_upperBound + 1;
    const qsizetype slot = Slot(newUpperBound);
    try {
        if (slot == m_storage.size()) {
            m_storage.append(std::forward<V>(v));
        } else {
            // Spare slots above the upper bound: the one appended into is overwritten,
            // those above it are dropped (the storage ends at the new upper bound).
            ResizeFor(newUpperBound);
            m_storage[slot] = std::forward<V>(v);
        }
    } catch (const std::bad_alloc&) {
        throw OutOfMemoryError();
    }
    m_upperBound = newUpperBound;
}

void CArray::AddValue(const Variant& v)
{
    Append(v);
}

void CArray::AddValue(Variant&& v)
{
    Append(std::move(v));
}

qint32 CArray::Find(const Variant& v, qint32 Default) const
{
    const Variant sought = v;
    const qint64 last = m_upperBound;
    if (sought.IsObject()) {
        for (qint64 i = m_lowerBound; i <= last; ++i) {
            const ObjectRef object = sought.ToObject();
            if (!object)
                throw ObjectNotSetError();
            // The object's Equals may change this container: read each element afresh
            // and fail as a straight storage read would once it is gone.
            const qsizetype slot = qsizetype(i) - m_lowerBound;
            if (slot < 0 || slot >= m_storage.size())
                throw SubscriptError();
            const Variant element = m_storage[slot];
            const Variant answer = object->Equals(element);
            if (!answer.IsNull() && answer.ToBool())
                return qint32(i);
        }
    } else {
        const Variant* base = m_storage.constData();
        for (qint64 i = m_lowerBound; i <= last; ++i)
            if (EqualFast(base[i - m_lowerBound], sought))
                return qint32(i);
    }
    if (Default == kNoDefault)
        return Checked(qint64(m_lowerBound) - 1);
    return Default;
}

Variant CArray::PopValue()
{
    if (m_upperBound < m_lowerBound)
        throw SubscriptError(); // below the storage
    // The slot keeps the popped element: an UpperBound assignment can bring it back.
    Variant last = m_storage[Slot(m_upperBound)];
    --m_upperBound;
    return last;
}

Variant CArray::Remove(qint32 index)
{
    if (index < m_lowerBound || Slot(index) >= m_storage.size())
        throw SubscriptError();
    if (index > m_upperBound)
        throw BoundError(); // a spare slot: no element to remove
    const qsizetype slot = Slot(index);
    const qsizetype top = Slot(m_upperBound);
    Variant removed = m_storage[slot];
    Variant* base = m_storage.data();
    std::move(base + slot + 1, base + top + 1, base + slot);
    // The slot at the old upper bound keeps the former last element.
    if (slot < top)
        base[top] = base[top - 1];
    --m_upperBound;
    return removed;
}

qint32 CArray::RemoveValue(const Variant& value)
{
    const qint32 i = Find(value);
    if (i >= m_lowerBound)
        Remove(i);
    return i;
}

QString CArray::List(const Variant& Separator) const
{
    const QString separator = Separator.ToText();
    QString s;
    for (qint64 i = m_lowerBound; i <= m_upperBound; ++i) {
        if (i > m_lowerBound)
            s += separator;
        s += m_storage[qsizetype(i) - m_lowerBound].ToText();
    }
    return s;
}

void CArray::SetLowerBound(qint32 lowerBound)
{
    const qint32 upperBound = Checked(qint64(lowerBound) - 1);
    QList<Variant> fresh(1);
    m_storage.swap(fresh);
    m_lowerBound = lowerBound;
    m_upperBound = upperBound;
}

void CArray::SetUpperBound(qint32 newUpperBound)
{
    if (qint64(newUpperBound) < qint64(m_lowerBound) - 1)
        throw BoundError(); // would leave a negative Count
    ResizeFor(newUpperBound);
    m_upperBound = newUpperBound;
}

void CArray::Insert(const Variant& v, qint32 index)
{
    if (index < m_lowerBound)
        throw SubscriptError();
    if (qint64(index) > qint64(m_upperBound) + 1)
        throw BoundError();
    Append(Variant::NullObject());
    Variant* base = m_storage.data();
    const qsizetype slot = Slot(index);
    const qsizetype top = Slot(m_upperBound);
    std::move_backward(base + slot, base + top, base + top + 1);
    base[slot] = v;
}

void CArray::Fill(const Variant& v)
{
    for (qint64 i = m_lowerBound; i <= m_upperBound; ++i)
        m_storage[qsizetype(i) - m_lowerBound] = v;
}

std::shared_ptr<CArray> CArray::Clone() const
{
    auto copy = std::make_shared<CArray>();
    copy->SetLowerBound(m_lowerBound);
    copy->SetUpperBound(m_upperBound);
    // Variant copies share object references and copy plain values: a shallow copy.
    for (qint64 i = m_lowerBound; i <= m_upperBound; ++i)
        copy->m_storage[qsizetype(i) - m_lowerBound] = m_storage[qsizetype(i) - m_lowerBound];
    return copy;
}

bool CArray::Equals(const CArray* c) const
{
    if (!c)
        return false;
    if (m_upperBound != c->UpperBound() || m_lowerBound != c->LowerBound())
        return false;
    for (qint64 i = m_lowerBound; i <= m_upperBound; ++i) {
        const qsizetype slot = qsizetype(i) - m_lowerBound;
        if (UnequalFast(m_storage[slot], c->m_storage[slot]))
            return false;
    }
    return true;
}

Variant CArray::Equals(const Variant& c)
{
    return Variant(std::as_const(*this).Equals(c.ObjectAs<CArray>().get()));
}

void CArray::Swap(qint32 index1, qint32 index2)
{
    if (!InBounds(index1) || !InBounds(index2))
        throw BoundError();
    if (index1 != index2)
        swap(m_storage[Slot(index1)], m_storage[Slot(index2)]);
}

void CArray::Sort()
{
    for (qint64 i = m_lowerBound; i <= m_upperBound; ++i)
        if (m_storage[qsizetype(i) - m_lowerBound].IsObject())
            throw SortRefusalError();
    SortRange(m_lowerBound, m_upperBound);
}

// One partition: pivot = a copy of the middle element, moved to the top; every element
// that is less than or equal to it is swapped down to the store index; the pivot goes to
// the store index; the run of elements equal to it just below stays out of the lower part.
// The smaller part is sorted by recursion and the larger by the loop, so the depth stays
// within log2 of the count; the parts are disjoint, so the order of the two changes
// nothing in the result.
void CArray::SortRange(qint32 lo, qint32 hi)
{
    Variant* base = m_storage.data();
    const qint32 lower = m_lowerBound;
    auto at = [base, lower](qint32 index) -> Variant& { return base[qsizetype(index) - lower]; };
    while (lo < hi) {
        const qint32 mid = qint32(qint64(Checked(qint64(lo) + hi)) / 2);
        const Variant pivot = at(mid);
        swap(at(mid), at(hi));
        qint32 store = lo;
        for (qint32 i = lo; i < hi; ++i) {
            if (LessOrEqualFast(at(i), pivot)) {
                if (store != i)
                    swap(at(store), at(i));
                ++store;
            }
        }
        if (store != hi)
            swap(at(hi), at(store));
        qint32 k = store - 1;
        while (k >= lo && !UnequalFast(at(k), pivot))
            --k;
        // Upper part store + 1 .. hi, lower part lo .. k.
        if (qint64(hi) - store <= qint64(k) - lo + 1) {
            SortRange(store + 1, hi);
            hi = k;
        } else {
            SortRange(lo, k);
            lo = store + 1;
        }
    }
}

} // namespace containers
