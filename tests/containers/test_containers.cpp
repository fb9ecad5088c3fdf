// The value type's comparison table and text form; the dynamic array's errors, storage
// rules, search, copies and sort. Random operation sequences are checked against a model
// of the storage rules by fuzz/fuzz_carray.cpp: these are the exact-value edge cases.
#include "containers/CArray.h"

#include <QThread>
#include <QtTest>

#include <climits>
#include <functional>
#include <numeric>

using namespace containers;
using Op = std::function<void(CArray&)>;
Q_DECLARE_METATYPE(Op)
Q_DECLARE_METATYPE(containers::Variant)

namespace {

CArray Of(const QList<Variant>& values, qint32 lowerBound = 0)
{
    CArray a;
    a.SetLowerBound(lowerBound);
    for (const Variant& v : values)
        a.AddValue(v);
    return a;
}

// Bounds and elements as one comparable text: "lb..ub:a|b|c".
QString State(const CArray& a)
{
    return QStringLiteral("%1..%2:%3").arg(a.LowerBound()).arg(a.UpperBound()).arg(a.List(Variant("|")));
}

// op raises error `number` (0: none) with its source and its description (the usual one
// unless given).
void Raises(const std::function<void()>& op, qint32 number, const QString& description = {})
{
    static const QHash<qint32, QString> usual{
        {kBoundErrorNumber, "Out of bound"}, {9, "Subscript out of range"}, {6, "Overflow"},
        {13, "Type mismatch"}, {91, "Object variable or With block variable not set"},
        {438, "Object doesn't support this property or method"}};
    try {
        op();
    } catch (const Error& e) {
        QCOMPARE(e.Number(), number);
        QCOMPARE(e.Source(), number == kBoundErrorNumber ? "CArray" : "Brevilo");
        QCOMPARE(e.Description(), description.isEmpty() ? usual.value(number) : description);
        return;
    }
    QVERIFY2(number == 0, "no error raised");
}

} // namespace

class TestContainers : public QObject {
    Q_OBJECT

private slots:
    void comparison_data()
    {
        QTest::addColumn<Variant>("a");
        QTest::addColumn<Variant>("b");
        QTest::addColumn<int>("order"); // -1 a < b, 0 equal, 1 a > b (objects: unequal), 2 all tests false
        const auto obj = std::make_shared<VObject>();
        QTest::newRow("long 1 = double 1") << Variant(1) << Variant(1.0) << 0;
        QTest::newRow("true = -1") << Variant(true) << Variant(-1) << 0;
        QTest::newRow("currency 0.1 = double 0.1") << Variant::FromCurrency(1000) << Variant(0.1) << 0;
        QTest::newRow("currency exact beyond double")
            << Variant::FromCurrency((qint64(1) << 53) + 1) << Variant::FromCurrency(qint64(1) << 53) << 1;
        QTest::newRow("texts 10 < 2") << Variant("10") << Variant("2") << -1;
        QTest::newRow("capital before small") << Variant("Zeta") << Variant("alfa") << -1;
        QTest::newRow("accented after z") << Variant("à") << Variant("z") << 1;
        QTest::newRow("number below text") << Variant(1000) << Variant("1") << -1;
        QTest::newRow("empty as 0") << Variant() << Variant(0) << 0;
        QTest::newRow("empty = empty text") << Variant() << Variant("") << 0;
        QTest::newRow("null, empty") << Variant::Null() << Variant() << 2;
        QTest::newRow("NaN") << Variant(std::nan("")) << Variant(1.0) << 2;
        QTest::newRow("null wins over an object") << Variant::Null() << Variant(obj) << 2;
        QTest::newRow("same object") << Variant(obj) << Variant(obj) << 0;
        QTest::newRow("two objects") << Variant(obj) << Variant(std::make_shared<VObject>()) << 1;
        QTest::newRow("empty, null reference") << Variant() << Variant::NullObject() << 1;
        QTest::newRow("null references") << Variant::NullObject() << Variant::NullObject() << 0;
    }
    void comparison()
    {
        QFETCH(Variant, a);
        QFETCH(Variant, b);
        QFETCH(int, order);
        const bool comparable = order != 2;
        QCOMPARE(Equal(a, b), order == 0);
        QCOMPARE(EqualFast(b, a), order == 0);
        QCOMPARE(Unequal(a, b), comparable && order != 0);
        QCOMPARE(UnequalFast(b, a), comparable && order != 0);
        if ((a.IsObject() || b.IsObject()) && comparable) // objects have no order
            return Raises([&] { LessOrEqual(a, b); }, 13);
        QCOMPARE(LessOrEqual(a, b), comparable && order <= 0);
        QCOMPARE(LessOrEqualFast(b, a), comparable && order >= 0);
    }

    void text()
    {
        const std::pair<Variant, QString> rows[] = {
            {Variant::Null(), ""}, {0.1, "0.1"}, {-0.0, "0"}, {Variant::FromCurrency(32500), "3.25"},
            {true, "True"}, {Variant::FromDate(45000), "2023-03-15"},
            {Variant::FromDate(-1.25), "1899-12-29 06:00:00"}, {Variant::FromDate(1.9999999), "1900-01-01"}};
        for (const auto& [value, text] : rows)
            QCOMPARE(value.ToText(), text);
        Raises([] { Variant::NullObject().ToText(); }, 13); // an object reference has no text
    }

    // Each row starts from a, b, c; a failing step (the last) raises its error and leaves the
    // container as it was.
    void operations_data()
    {
        QTest::addColumn<Op>("op");
        QTest::addColumn<qint32>("error"); // 0: none
        QTest::addColumn<QString>("expected");
        const qint32 bound = kBoundErrorNumber;
        const QString abc = "0..2:a|b|c", ab = "0..1:a|b";
        const Variant obj = std::make_shared<VObject>();
        QTest::newRow("Value above") << Op([](auto& a) { a[3]; }) << bound << abc;
        QTest::newRow("Swap, one outside") << Op([](auto& a) { a.Swap(0, 3); }) << bound << abc;
        QTest::newRow("Swap") << Op([](auto& a) { a.Swap(0, 2), a.Swap(1, 1); }) << 0 << "0..2:c|b|a";
        QTest::newRow("Remove outside the storage") << Op([](auto& a) { a.Remove(3); }) << 9 << abc;
        QTest::newRow("Remove a spare slot") << Op([](auto& a) { a.PopValue(), a.Remove(2); }) << bound << ab;
        QTest::newRow("PopValue on empty") << Op([](auto& a) { a.Clear(), a.PopValue(); }) << 9 << "0..-1:";
        QTest::newRow("Remove, last revived") << Op([](auto& a) { a.Remove(1), a.SetUpperBound(2); }) << 0 << "0..2:a|c|c";
        QTest::newRow("Insert below") << Op([](auto& a) { a.Insert("x", -1); }) << 9 << abc;
        QTest::newRow("Insert past the end") << Op([](auto& a) { a.Insert("x", 4); }) << bound << abc;
        QTest::newRow("UpperBound < lower - 1") << Op([](auto& a) { a.SetUpperBound(-2); }) << bound << abc;
        QTest::newRow("LowerBound -2147483648") << Op([](auto& a) { a.SetLowerBound(INT_MIN); }) << 6 << abc;
        QTest::newRow("AddValue past 2147483647")
            << Op([](auto& a) { a.SetLowerBound(INT_MAX), a.AddValue(1), a.AddValue(2); }) << 6
            << "2147483647..2147483647:1";
        QTest::newRow("Find, no Equals") << Op([=](auto& a) { a.Find(obj); }) << 438 << abc;
        QTest::newRow("Find, null ref") << Op([](auto& a) { a.Find(Variant::NullObject()); }) << 91 << abc;
    }
    void operations()
    {
        QFETCH(Op, op);
        QFETCH(qint32, error);
        QFETCH(QString, expected);
        CArray a = Of({"a", "b", "c"});
        Raises([&] { op(a); }, error);
        QCOMPARE(State(a), expected);
    }

    void findCloneEquals()
    {
        const CArray a = Of({"a", "b", "c", 1.0});
        QCOMPARE(a.Find("B"), -1);      // case-sensitive
        QCOMPARE(a.Find(qint16(1)), 3); // a number of another kind
        QCOMPARE(CArray().Find(Variant::NullObject(), 7), 7); // no element, so no comparison fails
        // A container sought among containers is found by its contents.
        QCOMPARE(Of({std::make_shared<CArray>(), a.Clone()}).Find(a.Clone()), 1);

        // A clone is shallow; equal by elements and bounds.
        const auto object = std::make_shared<VObject>();
        CArray b = Of({"a", 1, object, Variant::NullObject()}, 2);
        const auto c = b.Clone();
        QVERIFY(b.Equals(c.get()));
        QCOMPARE(c->Value(4).ToObject(), ObjectRef(object)); // shared, not copied
        c->SetValue(3, 1.0);
        c->SetValue(5, Variant::Null()); // null is never unequal
        QVERIFY(b.Equals(c.get()));
        c->SetValue(2, "A");
        QVERIFY(!b.Equals(c.get()));
        QVERIFY(!b.Equals(Of({"a", 1, object, Variant::NullObject()}).Clone().get())); // other bounds
        QVERIFY(!b.Equals(static_cast<const CArray*>(nullptr)));
    }

    // Each row gives the input and where each of its elements ends (by input position): equal
    // elements of different kinds show the exact steps, since the sort is not stable.
    void sort_data()
    {
        QTest::addColumn<QList<Variant>>("in");
        QTest::addColumn<qint32>("lowerBound");
        QTest::addColumn<QList<int>>("order");
        const Variant p = 1, q = 1.0, r = Variant::FromCurrency(10000);
        QTest::newRow("empty") << QList<Variant>{} << 0 << QList<int>{};
        QTest::newRow("one") << QList<Variant>{"x"} << 3 << QList<int>{0};
        QTest::newRow("texts from 5") << QList<Variant>{"bruno", "èlia", "Zoe", "br", "Carlo"} << 5 << QList{4, 2, 3, 0, 1};
        QTest::newRow("equal keys p, q") << QList{p, q} << 0 << QList{1, 0};
        QTest::newRow("equal keys p, q, r") << QList{p, q, r} << 0 << QList{0, 2, 1};
    }
    void sort()
    {
        QFETCH(QList<Variant>, in);
        QFETCH(qint32, lowerBound);
        QFETCH(QList<int>, order);
        CArray a = Of(in, lowerBound);
        a.Sort();
        QCOMPARE(a.Count(), order.size());
        QCOMPARE(a.LowerBound(), lowerBound);
        for (qsizetype i = 0; i < order.size(); ++i) {
            QCOMPARE(a[lowerBound + qint32(i)].Type(), in[order[i]].Type());
            QCOMPARE(a[lowerBound + qint32(i)].ToText(), in[order[i]].ToText());
        }
    }

    void sortRefusesObjects()
    {
        for (const Variant& object : {Variant(std::make_shared<VObject>()), Variant::NullObject()}) {
            CArray a = Of({"c", object, "a"});
            Raises([&] { a.Sort(); }, kBoundErrorNumber, "Non è possibile ordinare elementi oggetto!");
            a.SetValue(1, "x");
            QCOMPARE(State(a), "0..2:c|x|a");
        }
    }

    void deepSortFitsASmallStack()
    {
        // Values whose middle element is always the largest of the remaining range: each partition
        // peels one element, so a plain recursion would go as deep as the count.
        std::vector<int> labelAt(6000);
        std::iota(labelAt.begin(), labelAt.end(), 0); // label i starts at slot i
        CArray a;
        a.SetUpperBound(5999); // label 0 stays empty, which counts as 0
        for (int hi = 5999; hi >= 1; --hi) {
            a.SetValue(labelAt[hi / 2], hi);
            std::swap(labelAt[hi / 2], labelAt[hi]);
        }
        const std::unique_ptr<QThread> worker(QThread::create([&a] { a.Sort(); }));
        worker->setStackSize(128 * 1024); // a recursion as deep as the count would overflow it
        worker->start();
        QVERIFY(worker->wait());
        for (qint32 i = 0; i <= a.UpperBound(); ++i)
            QCOMPARE(a[i].ToDouble(), double(i));
    }
};

QTEST_GUILESS_MAIN(TestContainers)
#include "test_containers.moc"
