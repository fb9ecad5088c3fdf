// The dynamic array: bounds, errors that leave it unchanged, spare slots, search.
#include "containers/CArray.h"

#include <QtTest>

#include <functional>

using containers::CArray;
using containers::Variant;
using ArrayOp = std::function<void(CArray&)>;
Q_DECLARE_METATYPE(ArrayOp)
Q_DECLARE_METATYPE(containers::Variant)

namespace {

// Bounds and elements as one comparable text: "lb..ub:a|b|c".
QString State(const CArray& a)
{
    return QStringLiteral("%1..%2:%3").arg(a.LowerBound()).arg(a.UpperBound()).arg(a.List(Variant("|")));
}

CArray Abc()
{
    CArray a;
    for (const char* s : {"a", "b", "c"})
        a.AddValue(Variant(s));
    return a;
}

// Answers Find's question with a preset answer and counts the questions.
class Answer : public containers::VObject {
public:
    explicit Answer(Variant answer) : m_answer(std::move(answer)) {}
    Variant Equals(const Variant&) override { return ++calls, m_answer; }
    int calls = 0;

private:
    Variant m_answer;
};

} // namespace

class TestCArray : public QObject {
    Q_OBJECT

private slots:
    void newContainer();
    void errors_data();
    void errors();
    void storage_data();
    void storage();
    void find_data();
    void find();
    void findAsksTheObject();
    void equalsAndClone();
    void objectsAreSharedAndReleased();
};

void TestCArray::newContainer()
{
    CArray a;
    QCOMPARE(State(a), QStringLiteral("0..-1:"));
    QCOMPARE(a.Count(), 0);
    QCOMPARE(a.Find(Variant()), -1);
    QCOMPARE(a.RemoveValue(Variant("a")), -1);
    QCOMPARE(a.Find(Variant::NullObject(), 7), 7); // no element, so no comparison fails
}

void TestCArray::errors_data()
{
    QTest::addColumn<ArrayOp>("op"); // steps before the last one set the scene
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QString>("description");
    const qint32 bound = containers::kBoundErrorNumber;
    const qint32 subscript = containers::kSubscriptErrorNumber;
    const QString outOfBound = QStringLiteral("Out of bound");
    const QString range = QStringLiteral("Subscript out of range");
    const QString overflow = QStringLiteral("Overflow");

    QTest::newRow("Value above") << ArrayOp([](CArray& a) { a[3]; }) << bound << outOfBound;
    QTest::newRow("Value below") << ArrayOp([](CArray& a) { a.Value(-1); }) << bound << outOfBound;
    QTest::newRow("assign above") << ArrayOp([](CArray& a) { a.SetValue(3, Variant("x")); }) << bound << outOfBound;
    QTest::newRow("assign object below") << ArrayOp([](CArray& a) { a.SetValue(-1, Variant::NullObject()); })
                                         << bound << outOfBound;
    QTest::newRow("Swap one outside") << ArrayOp([](CArray& a) { a.Swap(0, 3); }) << bound << outOfBound;
    QTest::newRow("Remove outside the storage") << ArrayOp([](CArray& a) { a.Remove(3); }) << subscript << range;
    QTest::newRow("Remove a spare slot") << ArrayOp([](CArray& a) { a.PopValue(), a.Remove(2); }) << bound
                                         << outOfBound;
    QTest::newRow("PopValue on empty") << ArrayOp([](CArray& a) { a.Clear(), a.PopValue(); }) << subscript << range;
    QTest::newRow("Insert below") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), -1); }) << subscript << range;
    QTest::newRow("Insert past the end") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), 4); }) << bound
                                         << outOfBound;
    QTest::newRow("UpperBound below lower - 1") << ArrayOp([](CArray& a) { a.SetUpperBound(-2); }) << bound
                                                << outOfBound;
    QTest::newRow("LowerBound -2147483648")
        << ArrayOp([](CArray& a) { a.SetLowerBound(std::numeric_limits<qint32>::min()); }) << 6 << overflow;
    QTest::newRow("AddValue at upper bound 2147483647") << ArrayOp([](CArray& a) {
        a.SetLowerBound(std::numeric_limits<qint32>::max());
        a.AddValue(Variant("last"));
        a.AddValue(Variant("one too many"));
    }) << 6 << overflow;
    QTest::newRow("Find, object without Equals")
        << ArrayOp([](CArray& a) { a.Find(Variant(std::make_shared<containers::VObject>())); }) << 438
        << QStringLiteral("Object doesn't support this property or method");
    QTest::newRow("Find, null object reference") << ArrayOp([](CArray& a) { a.Find(Variant::NullObject()); })
                                                 << 91
                                                 << QStringLiteral("Object variable or With block variable not set");
}

void TestCArray::errors()
{
    QFETCH(ArrayOp, op);
    QFETCH(qint32, number);
    QFETCH(QString, description);
    CArray probe = Abc(); // the state the scene leaves, failing step excluded
    try {
        op(probe);
    } catch (const containers::Error&) {
    }
    CArray a = Abc();
    try {
        op(a);
        QFAIL("no error raised");
    } catch (const containers::Error& e) {
        QCOMPARE(e.Number(), number);
        QCOMPARE(e.Source(), number == containers::kBoundErrorNumber ? "CArray" : "Brevilo");
        QCOMPARE(e.Description(), description);
    }
    QCOMPARE(State(a), State(probe));
}

void TestCArray::storage_data()
{
    QTest::addColumn<ArrayOp>("op");
    QTest::addColumn<QString>("expected");
    QTest::newRow("Remove first") << ArrayOp([](CArray& a) { QCOMPARE(a.Remove(0).ToText(), "a"); }) << "0..1:b|c";
    QTest::newRow("PopValue, UpperBound revives") << ArrayOp([](CArray& a) {
        QCOMPARE(a.PopValue().ToText(), "c");
        a.SetUpperBound(2);
    }) << "0..2:a|b|c";
    QTest::newRow("Remove, UpperBound revives the old last") << ArrayOp([](CArray& a) {
        a.Remove(1);
        a.SetUpperBound(2);
    }) << "0..2:a|c|c";
    QTest::newRow("AddValue overwrites a spare slot, drops those above") << ArrayOp([](CArray& a) {
        a.PopValue(), a.PopValue();
        a.AddValue(Variant("x"));
        a.SetUpperBound(2);
    }) << "0..2:a|x|";
    QTest::newRow("UpperBound shrinks, then grows empty") << ArrayOp([](CArray& a) {
        a.SetUpperBound(0);
        a.SetUpperBound(3);
    }) << "0..3:a|||";
    QTest::newRow("UpperBound lower - 1 empties") << ArrayOp([](CArray& a) { a.SetUpperBound(-1); }) << "0..-1:";
    QTest::newRow("Insert in the middle") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), 1); }) << "0..3:a|x|b|c";
    QTest::newRow("Insert appends") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), 3); }) << "0..3:a|b|c|x";
    QTest::newRow("LowerBound empties") << ArrayOp([](CArray& a) {
        a.SetLowerBound(5);
        QCOMPARE(a.Find(Variant("a")), 4);
        a.AddValue(Variant("y"));
    }) << "5..5:y";
    QTest::newRow("Clear resets the lower bound") << ArrayOp([](CArray& a) {
        a.SetLowerBound(5);
        a.Clear();
        a.SetUpperBound(0);
    }) << "0..0:";
    QTest::newRow("RemoveValue, first only") << ArrayOp([](CArray& a) {
        a.AddValue(Variant("b"));
        QCOMPARE(a.RemoveValue(Variant("b")), 1);
        QCOMPARE(a.RemoveValue(Variant("z")), -1);
    }) << "0..2:a|c|b";
    QTest::newRow("Swap") << ArrayOp([](CArray& a) { a.Swap(0, 2), a.Swap(1, 1); }) << "0..2:c|b|a";
    QTest::newRow("Fill leaves spare slots") << ArrayOp([](CArray& a) {
        a.PopValue();
        a.Fill(Variant(7));
        a.SetUpperBound(2);
    }) << "0..2:7|7|c";
    QTest::newRow("List of other kinds") << ArrayOp([](CArray& a) {
        a.Clear();
        for (const Variant& v : {Variant(1), Variant(2.5), Variant(true), Variant()})
            a.AddValue(v);
        QCOMPARE(a.List(), "1, 2.5, True, ");
    }) << "0..3:1|2.5|True|";
}

void TestCArray::storage()
{
    QFETCH(ArrayOp, op);
    QFETCH(QString, expected);
    CArray a = Abc();
    op(a);
    QCOMPARE(State(a), expected);
    QCOMPARE(a.Count(), a.UpperBound() - a.LowerBound() + 1);
}

void TestCArray::find_data()
{
    QTest::addColumn<Variant>("sought");
    QTest::addColumn<qint32>("Default");
    QTest::addColumn<qint32>("expected");
    const qint32 none = CArray::kNoDefault;
    QTest::newRow("first of two equal") << Variant("b") << none << 1;
    QTest::newRow("absent") << Variant("z") << none << -1;
    QTest::newRow("absent, Default") << Variant("z") << 99 << 99;
    QTest::newRow("case-sensitive") << Variant("B") << none << -1;
    QTest::newRow("number of another kind") << Variant(qint16(1)) << none << 4;
    QTest::newRow("number never its text") << Variant(2) << none << -1;
    QTest::newRow("null never found") << Variant::Null() << none << -1;
}

void TestCArray::find()
{
    QFETCH(Variant, sought);
    QFETCH(qint32, Default);
    QFETCH(qint32, expected);
    CArray a = Abc();
    for (const Variant& v : {Variant("b"), Variant(1.0), Variant("2")})
        a.AddValue(v);
    QCOMPARE(a.Find(sought, Default), expected);
}

void TestCArray::findAsksTheObject()
{
    const CArray a = Abc();
    auto no = std::make_shared<Answer>(Variant::Null());
    QCOMPARE(a.Find(Variant(no)), -1);
    QCOMPARE(no->calls, 3);
    auto yes = std::make_shared<Answer>(Variant(-1));
    QCOMPARE(a.Find(Variant(yes)), 0);
    QCOMPARE(yes->calls, 1);
    // A container sought among containers is found by its contents.
    CArray outer;
    outer.AddValue(Variant(std::make_shared<CArray>()));
    outer.AddValue(Variant(a.Clone()));
    QCOMPARE(outer.Find(Variant(a.Clone())), 1);
}

void TestCArray::equalsAndClone()
{
    CArray a = Abc();
    a.AddValue(Variant(1));
    auto c = a.Clone();
    QVERIFY(a.Equals(c.get()));
    c->SetValue(3, Variant(1.0));
    c->SetValue(0, Variant::Null()); // null is never unequal
    QVERIFY(a.Equals(c.get()));
    c->SetValue(2, Variant("C"));
    QVERIFY(!a.Equals(c.get()));
    QCOMPARE(State(a), QStringLiteral("0..3:a|b|c|1")); // the clone is a copy

    CArray shifted;
    shifted.SetLowerBound(1);
    for (const Variant& v : {Variant("a"), Variant("b"), Variant("c"), Variant(1)})
        shifted.AddValue(v);
    QVERIFY(!a.Equals(&shifted));
    QVERIFY(!a.Equals(static_cast<const CArray*>(nullptr)));
    QVERIFY(CArray().Equals(CArray().Clone().get()));
}

void TestCArray::objectsAreSharedAndReleased()
{
    auto object = std::make_shared<containers::VObject>();
    std::weak_ptr<containers::VObject> watch = object;
    CArray a;
    a.SetLowerBound(2);
    a.AddValue(Variant(object));
    a.Insert(Variant::NullObject(), 2);
    QVERIFY(a.Value(2).IsObject() && !a.Value(2).ToObject());
    QCOMPARE(a.Value(3).ToObject(), containers::ObjectRef(object));
    const auto clone = a.Clone();
    QCOMPARE(clone->Value(3).ToObject(), containers::ObjectRef(object)); // shallow
    clone->SetValue(3, Variant("x"));
    QCOMPARE(a.Value(3).ToObject(), containers::ObjectRef(object));
    object.reset();
    a.PopValue();
    QVERIFY(!watch.expired()); // still held by the spare slot
    a.Clear();
    QVERIFY(watch.expired());
}

QTEST_APPLESS_MAIN(TestCArray)
#include "test_carray.moc"
