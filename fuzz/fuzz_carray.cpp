// Drives a CArray through operations decoded from the input and compares it after every step
// with a plain vector of its storage, spare slots above the upper bound included (an UpperBound
// assignment revives them). Values are the texts 1..4: the Empty of a new slot reads as 0, and
// a slot left holding a moved-from text shows. An operation the array refuses must raise an
// error and change nothing.
#include "FuzzCheck.h"
#include "containers/CArray.h"

#include <algorithm>
#include <vector>

using containers::CArray;
using containers::Variant;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    CArray a;
    std::vector<int> s{0}; // s[0] is the slot of the lower bound
    int lb = 0, n = 0;
    size_t pos = 0;
    const auto byte = [&] { return pos < size ? int(data[pos++]) : 0; };
    const auto in = [&](int i) { return i >= lb && i < lb + n; };
    // Elements above slot k move down; the old last slot keeps its value as a spare.
    const auto erase = [&](int k) { std::copy(s.begin() + k + 1, s.begin() + n--, s.begin() + k); };
    // Runs op, which must raise an error exactly when the model refuses it; true when it ran.
    const auto run = [](bool refused, auto op) {
        bool raised = false;
        try {
            op();
        } catch (const containers::Error&) {
            raised = true;
        }
        if (raised != refused)
            Fail(refused ? "no error raised" : "unexpected error");
        return !raised;
    };
    while (pos < size) {
        const int op = byte() % 11, v = byte() % 4 + 1;
        const Variant x(QString::number(v));
        const int i = lb - 2 + byte() % (n + 5), j = lb - 2 + byte() % (n + 5); // now and then out of bounds
        const auto first = std::find(s.begin(), s.begin() + n, v);
        const int found = first == s.begin() + n ? lb - 1 : lb + int(first - s.begin());
        int got = 0, want = 0; // what an operation answers
        switch (op) {
        case 0:
            a.AddValue(x);
            s.resize(size_t(n + 1)), s[size_t(n++)] = v;
            break;
        case 1:
            if (run(n == 0, [&] { got = a.PopValue().ToText().toInt(); }))
                want = s[size_t(--n)];
            break;
        case 2:
            if (run(!in(i), [&] { got = a.Remove(i).ToText().toInt(); }))
                want = s[size_t(i - lb)], erase(i - lb);
            break;
        case 3:
            if (run(j < lb - 1, [&] { a.SetUpperBound(j); }))
                n = j - lb + 1, s.resize(size_t(std::max(n, 1)));
            break;
        case 4:
            if (run(i < lb || i > lb + n, [&] { a.Insert(x, i); }))
                s.resize(size_t(n++)), s.insert(s.begin() + (i - lb), v);
            break;
        case 5:
            if (run(!in(i), [&] { a.SetValue(i, x); }))
                s[size_t(i - lb)] = v;
            break;
        case 6: // now and then with a default answer for no match
            got = a.Find(x, j % 2 ? 77 : CArray::kNoDefault);
            want = j % 2 && found < lb ? 77 : found;
            break;
        case 7:
            got = a.RemoveValue(x), want = found;
            if (found >= lb)
                erase(found - lb);
            break;
        case 8:
            v == 4 ? a.Clear() : a.SetLowerBound(v - 3);
            lb = v == 4 ? 0 : v - 3, n = 0, s = {0};
            break;
        case 9:
            a.Fill(x);
            std::fill(s.begin(), s.begin() + n, v);
            break;
        default:
            a.Sort();
            std::sort(s.begin(), s.begin() + n);
        }
        if (got != want)
            Fail("an answer");
        if (a.LowerBound() != lb || a.UpperBound() != lb + n - 1 || a.Count() != n)
            Fail("bounds");
        for (int k = 0; k < n; ++k)
            if (a.Value(lb + k).ToText().toInt() != s[size_t(k)])
                Fail("element");
    }
    return 0;
}
