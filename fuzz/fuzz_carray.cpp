// Drives a CArray through a sequence of operations decoded from the input and checks it
// after every step against a plain model of its storage rules (bounds, spare slots
// above the upper bound, errors that leave the container unchanged).
#include "containers/CArray.h"

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <vector>

using containers::CArray;
using containers::Variant;

namespace {

constexpr int kEmpty = INT_MIN; // the model's empty value

struct Model {
    std::vector<int> storage{kEmpty}; // storage[0] is the slot of the lower bound
    int lb = 0;
    int ub = -1;

    int Count() const { return ub - lb + 1; }
    void Resize()
    {
        storage.resize(static_cast<size_t>(std::max(ub, lb) - lb + 1), kEmpty);
    }
    int& At(int index) { return storage[static_cast<size_t>(index - lb)]; }
    bool InBounds(int index) const { return index >= lb && index <= ub; }
};

[[noreturn]] void Fail(const char* what)
{
    fprintf(stderr, "model mismatch: %s\n", what);
    abort();
}

int ValueOf(const Variant& v)
{
    if (v.IsEmpty())
        return kEmpty;
    return static_cast<int>(v.ToDouble());
}

Variant ToVariant(int v)
{
    return v == kEmpty ? Variant() : Variant(v);
}

// Empty counts as 0 against a number.
bool ModelEqual(int a, int b)
{
    return (a == kEmpty ? 0 : a) == (b == kEmpty ? 0 : b);
}

void Check(const CArray& a, const Model& m)
{
    if (a.LowerBound() != m.lb || a.UpperBound() != m.ub || a.Count() != m.Count())
        Fail("bounds");
    for (int i = m.lb; i <= m.ub; ++i)
        if (ValueOf(a.Value(i)) != m.storage[static_cast<size_t>(i - m.lb)])
            Fail("element");
}

// Runs op on the array; when it throws, the model must not have been changed by the
// caller either (the operation is expected to reject before changing anything).
template <class Op>
bool Throws(Op op)
{
    try {
        op();
        return false;
    } catch (const containers::Error&) {
        return true;
    }
}

struct Input {
    const uint8_t* data;
    size_t size;
    size_t pos = 0;
    bool More() const { return pos < size; }
    int Byte() { return pos < size ? data[pos++] : 0; }
    int Small() { return Byte() % 7 - 1; } // -1 .. 5, values collide often
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Input in{data, size};
    CArray a;
    Model m;
    int steps = 0;
    while (in.More() && ++steps < 400) {
        const int op = in.Byte() % 16;
        // Index near the bounds, outside them now and then.
        const int index = m.lb - 2 + in.Byte() % (std::max(m.Count(), 0) + 5);
        const int v = in.Small();
        switch (op) {
        case 0:
            a.AddValue(Variant(v));
            ++m.ub;
            m.Resize();
            m.At(m.ub) = v;
            break;
        case 1:
            if (m.Count() == 0) {
                if (!Throws([&] { a.PopValue(); }))
                    Fail("PopValue on empty");
            } else {
                if (ValueOf(a.PopValue()) != m.At(m.ub))
                    Fail("PopValue result");
                --m.ub;
            }
            break;
        case 2:
            if (m.InBounds(index)) {
                if (ValueOf(a.Remove(index)) != m.At(index))
                    Fail("Remove result");
                for (int i = index; i < m.ub; ++i)
                    m.At(i) = m.At(i + 1);
                --m.ub;
            } else if (!Throws([&] { a.Remove(index); })) {
                Fail("Remove outside the bounds");
            }
            break;
        case 3: {
            const int newUb = m.lb - 1 + in.Byte() % (m.Count() + 4);
            a.SetUpperBound(newUb);
            m.ub = newUb;
            m.Resize();
            break;
        }
        case 4:
            if (index >= m.lb && index <= m.ub + 1) {
                a.Insert(Variant(v), index);
                ++m.ub;
                m.Resize();
                for (int i = m.ub; i > index; --i)
                    m.At(i) = m.At(i - 1);
                m.At(index) = v;
            } else if (!Throws([&] { a.Insert(Variant(v), index); })) {
                Fail("Insert outside the range");
            }
            break;
        case 5:
            if (m.InBounds(index)) {
                a.SetValue(index, Variant(v));
                m.At(index) = v;
            } else if (!Throws([&] { a.SetValue(index, Variant(v)); })) {
                Fail("SetValue outside the bounds");
            }
            break;
        case 6:
            if (!m.InBounds(index) && !Throws([&] { a.Value(index); }))
                Fail("Value outside the bounds");
            break;
        case 7:
        case 8: {
            int expected = m.lb - 1;
            for (int i = m.lb; i <= m.ub; ++i)
                if (ModelEqual(m.At(i), v)) {
                    expected = i;
                    break;
                }
            if (op == 7) {
                if (a.Find(Variant(v)) != expected || a.Find(Variant(v), 77) != (expected < m.lb ? 77 : expected))
                    Fail("Find");
            } else {
                if (a.RemoveValue(Variant(v)) != expected)
                    Fail("RemoveValue result");
                if (expected >= m.lb) {
                    for (int i = expected; i < m.ub; ++i)
                        m.At(i) = m.At(i + 1);
                    --m.ub;
                }
            }
            break;
        }
        case 9:
            a.Clear();
            m = Model{};
            break;
        case 10: {
            const int lb = in.Small() - 1;
            a.SetLowerBound(lb);
            m.lb = lb;
            m.ub = lb - 1;
            m.storage.assign(1, kEmpty);
            break;
        }
        case 11:
            a.Fill(Variant(v));
            for (int i = m.lb; i <= m.ub; ++i)
                m.At(i) = v;
            break;
        case 12: {
            const int other = m.lb - 1 + in.Byte() % (m.Count() + 2);
            if (m.InBounds(index) && m.InBounds(other)) {
                a.Swap(index, other);
                std::swap(m.At(index), m.At(other));
            } else if (!Throws([&] { a.Swap(index, other); })) {
                Fail("Swap outside the bounds");
            }
            break;
        }
        case 13: {
            a.Sort();
            // Equal-but-not-identical elements (empty and 0) may end in either order:
            // check order and contents, then take the array's order into the model.
            std::vector<int> before(m.storage.begin(), m.storage.begin() + m.Count());
            std::vector<int> after;
            for (int i = m.lb; i <= m.ub; ++i)
                after.push_back(ValueOf(a.Value(i)));
            for (size_t i = 1; i < after.size(); ++i)
                if (!(ModelEqual(after[i - 1], after[i]) ||
                      (after[i - 1] == kEmpty ? 0 : after[i - 1]) < (after[i] == kEmpty ? 0 : after[i])))
                    Fail("Sort order");
            std::sort(before.begin(), before.end());
            std::vector<int> sortedAfter = after;
            std::sort(sortedAfter.begin(), sortedAfter.end());
            if (before != sortedAfter)
                Fail("Sort contents");
            std::copy(after.begin(), after.end(), m.storage.begin());
            break;
        }
        case 14: {
            const auto clone = a.Clone();
            if (!clone || !clone->Equals(&a) || !a.Equals(clone.get()))
                Fail("Clone equals");
            if (m.Count() > 0) {
                clone->SetValue(m.lb, Variant(1000));
                if (ValueOf(a.Value(m.lb)) != m.At(m.lb))
                    Fail("Clone is shallow for plain values");
            }
            break;
        }
        default: {
            QString expected;
            for (int i = m.lb; i <= m.ub; ++i) {
                if (i > m.lb)
                    expected += QStringLiteral("|");
                if (m.At(i) != kEmpty)
                    expected += ToVariant(m.At(i)).ToText();
            }
            if (a.List(Variant(QStringLiteral("|"))) != expected)
                Fail("List");
            break;
        }
        }
        Check(a, m);
    }
    return 0;
}
