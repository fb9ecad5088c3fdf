// Drives a CArray through a sequence of operations decoded from the input and checks it
// after every step against a plain vector of its storage (bounds, spare slots above the
// upper bound that an UpperBound assignment revives, errors that change nothing).
#include "FuzzCheck.h"
#include "containers/CArray.h"

#include <algorithm>
#include <climits>
#include <vector>

using containers::CArray;
using containers::Variant;

namespace {

constexpr int kEmpty = INT_MIN; // the model's empty value, which counts as 0 against a number

int ValueOf(const Variant& v) { return v.IsEmpty() ? kEmpty : static_cast<int>(v.ToDouble()); }
int Key(int v) { return v == kEmpty ? 0 : v; }

struct Model {
    std::vector<int> s{kEmpty}; // s[0] is the slot of the lower bound
    int lb = 0, ub = -1;
    int Count() const { return ub - lb + 1; }
    bool In(int i) const { return i >= lb && i <= ub; }
    int& At(int i) { return s[size_t(i - lb)]; }
    void Resize() { s.resize(size_t(std::max(ub, lb) - lb + 1), kEmpty); }
    // Elements above i move down one; the old last slot keeps its value as a spare.
    void Erase(int i) { std::copy(s.begin() + (i - lb) + 1, s.begin() + Count(), s.begin() + (i - lb)), --ub; }
};

// Runs op: it must raise an error exactly when `refused`; the check after the step sees that a
// refused operation changed nothing. True when it ran.
template <class Op>
bool Run(bool refused, Op op)
{
    bool raised = false;
    try {
        op();
    } catch (const containers::Error&) {
        raised = true;
    }
    if (raised != refused)
        Fail(refused ? "no error raised" : "unexpected error");
    return !raised;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    size_t pos = 0;
    const auto byte = [&] { return pos < size ? int(data[pos++]) : 0; };
    CArray a;
    Model m;
    for (int steps = 0; pos < size && steps < 400; ++steps) {
        const int op = byte() % 14;
        const int index = m.lb - 2 + byte() % (std::max(m.Count(), 0) + 5); // near the bounds, now and then out
        const int v = byte() % 7 - 1; // -1 .. 5: values collide often
        const int other = m.lb - 2 + byte() % (m.Count() + 5);
        int got = 0;
        switch (op) {
        case 0:
            a.AddValue(Variant(v));
            ++m.ub, m.Resize(), m.At(m.ub) = v;
            break;
        case 1:
            if (Run(m.Count() == 0, [&] { got = ValueOf(a.PopValue()); }) && got != m.At(m.ub--))
                Fail("PopValue result");
            break;
        case 2:
            if (Run(!m.In(index), [&] { got = ValueOf(a.Remove(index)); })) {
                if (got != m.At(index))
                    Fail("Remove result");
                m.Erase(index);
            }
            break;
        case 3:
            if (Run(other < m.lb - 1, [&] { a.SetUpperBound(other); }))
                m.ub = other, m.Resize();
            break;
        case 4:
            if (Run(index < m.lb || index > m.ub + 1, [&] { a.Insert(Variant(v), index); })) {
                ++m.ub, m.Resize();
                std::copy_backward(m.s.begin() + (index - m.lb), m.s.begin() + m.Count() - 1, m.s.begin() + m.Count());
                m.At(index) = v;
            }
            break;
        case 5:
            if (Run(!m.In(index), [&] { a.SetValue(index, Variant(v)); }))
                m.At(index) = v;
            break;
        case 6:
            if (Run(!m.In(index), [&] { got = ValueOf(a.Value(index)); }) && got != m.At(index))
                Fail("Value");
            break;
        case 7:
        case 8: {
            int found = m.lb - 1;
            for (int i = m.ub; i >= m.lb; --i)
                found = Key(m.At(i)) == Key(v) ? i : found;
            if (op == 7 && (a.Find(Variant(v)) != found || a.Find(Variant(v), 77) != (found < m.lb ? 77 : found)))
                Fail("Find");
            if (op == 8 && a.RemoveValue(Variant(v)) != found)
                Fail("RemoveValue result");
            if (op == 8 && found >= m.lb)
                m.Erase(found);
            break;
        }
        case 9:
            a.Clear();
            m = Model{};
            break;
        case 10:
            a.SetLowerBound(v - 1);
            m = Model{{kEmpty}, v - 1, v - 2};
            break;
        case 11:
            a.Fill(Variant(v));
            std::fill(m.s.begin(), m.s.begin() + m.Count(), v);
            break;
        case 12:
            if (Run(!m.In(index) || !m.In(other), [&] { a.Swap(index, other); }))
                std::swap(m.At(index), m.At(other));
            break;
        case 13: {
            // Empty and 0 are equal without being identical and may end in either order: check
            // the order and the contents, then take the array's order into the model.
            a.Sort();
            std::vector<int> after;
            for (int i = m.lb; i <= m.ub; ++i)
                after.push_back(ValueOf(a.Value(i)));
            if (!std::is_sorted(after.begin(), after.end(), [](int x, int y) { return Key(x) < Key(y); }))
                Fail("Sort order");
            std::vector<int> before(m.s.begin(), m.s.begin() + m.Count()), sorted = after;
            std::sort(before.begin(), before.end()), std::sort(sorted.begin(), sorted.end());
            if (before != sorted)
                Fail("Sort contents");
            std::copy(after.begin(), after.end(), m.s.begin());
        }
        }
        if (a.LowerBound() != m.lb || a.UpperBound() != m.ub || a.Count() != m.Count())
            Fail("bounds");
        for (int i = m.lb; i <= m.ub; ++i)
            if (ValueOf(a.Value(i)) != m.At(i))
                Fail("element");
    }
    return 0;
}
