// The dynamic array: bounds, errors that leave it unchanged, spare slots, search.
#include "containers/CArray.h"

#include <QtTest>

#include <functional>

using containers::CArray;
using containers::Variant;

using ArrayOp = std::function<void(CArray&)>;
Q_DECLARE_METATYPE(ArrayOp)

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

// Answers Find's question with a preset answer, or by comparing texts.
class Matcher : public containers::VObject {
public:
    explicit Matcher(QString text) : m_text(std::move(text)) {}
    Variant Equals(const Variant& other) override
    {
        ++calls;
        return Variant(other.ToText() == m_text);
    }
    int calls = 0;

private:
    QString m_text;
};

class Answer : public containers::VObject {
public:
    explicit Answer(Variant answer) : m_answer(std::move(answer)) {}
    Variant Equals(const Variant&) override { return m_answer; }

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
    void findWithNullObjectFailsOnFirstComparison();
    void removeValue();
    void equals_data();
    void equals();
    void cloneIsShallow();
    void objectsAreSharedAndReleased();
};

void TestCArray::newContainer()
{
    CArray a;
    QCOMPARE(a.Count(), 0);
    QCOMPARE(a.LowerBound(), 0);
    QCOMPARE(a.UpperBound(), -1);
    QCOMPARE(a.List(), QString());
    QCOMPARE(a.Find(Variant()), -1);
    QCOMPARE(a.RemoveValue(Variant("a")), -1);
    a.AddValue(Variant("x"));
    QCOMPARE(a.List(), QStringLiteral("x"));
    QCOMPARE(a[0].ToText(), QStringLiteral("x"));
}

void TestCArray::errors_data()
{
    QTest::addColumn<ArrayOp>("op");
    QTest::addColumn<qint32>("number");
    QTest::addColumn<QString>("source");
    QTest::addColumn<QString>("description");

    const qint32 bound = containers::kBoundErrorNumber;
    const QString cArray = QStringLiteral("CArray");
    const QString outOfBound = QStringLiteral("Out of bound");
    const QString program = QStringLiteral("Brevilo");
    const QString subscript = QStringLiteral("Subscript out of range");

    QTest::newRow("Value above") << ArrayOp([](CArray& a) { a.Value(3); }) << bound << cArray << outOfBound;
    QTest::newRow("Value below") << ArrayOp([](CArray& a) { a.Value(-1); }) << bound << cArray << outOfBound;
    QTest::newRow("index operator") << ArrayOp([](CArray& a) { a[3]; }) << bound << cArray << outOfBound;
    QTest::newRow("assign above") << ArrayOp([](CArray& a) { a.SetValue(3, Variant("x")); }) << bound << cArray
                                  << outOfBound;
    QTest::newRow("assign object below")
        << ArrayOp([](CArray& a) { a.SetValue(-1, Variant::NullObject()); }) << bound << cArray << outOfBound;
    QTest::newRow("Swap one outside") << ArrayOp([](CArray& a) { a.Swap(0, 3); }) << bound << cArray
                                      << outOfBound;
    QTest::newRow("Swap first outside") << ArrayOp([](CArray& a) { a.Swap(-1, 2); }) << bound << cArray
                                        << outOfBound;
    QTest::newRow("Remove outside the storage")
        << ArrayOp([](CArray& a) { a.Remove(3); }) << containers::kSubscriptErrorNumber << program << subscript;
    QTest::newRow("Remove below") << ArrayOp([](CArray& a) { a.Remove(-1); })
                                  << containers::kSubscriptErrorNumber << program << subscript;
    QTest::newRow("Remove a spare slot") << ArrayOp([](CArray& a) {
        a.PopValue();
        a.Remove(2);
    }) << bound << cArray << outOfBound;
    QTest::newRow("PopValue on empty") << ArrayOp([](CArray& a) {
        a.Clear();
        a.PopValue();
    }) << containers::kSubscriptErrorNumber << program << subscript;
    QTest::newRow("Insert below") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), -1); })
                                  << containers::kSubscriptErrorNumber << program << subscript;
    QTest::newRow("Insert past the end") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), 4); }) << bound
                                         << cArray << outOfBound;
    QTest::newRow("UpperBound below lower - 1")
        << ArrayOp([](CArray& a) { a.SetUpperBound(-2); }) << bound << cArray << outOfBound;
    QTest::newRow("LowerBound -2147483648")
        << ArrayOp([](CArray& a) { a.SetLowerBound(std::numeric_limits<qint32>::min()); })
        << containers::kOverflowErrorNumber << program << QStringLiteral("Overflow");
    QTest::newRow("AddValue at upper bound 2147483647") << ArrayOp([](CArray& a) {
        a.SetLowerBound(std::numeric_limits<qint32>::max());
        a.AddValue(Variant("last"));
        a.AddValue(Variant("one too many"));
    }) << containers::kOverflowErrorNumber << program << QStringLiteral("Overflow");
    QTest::newRow("Find with an object lacking Equals")
        << ArrayOp([](CArray& a) { a.Find(Variant(std::make_shared<containers::VObject>())); })
        << containers::kNoMethodErrorNumber << program
        << QStringLiteral("Object doesn't support this property or method");
}

void TestCArray::errors()
{
    QFETCH(ArrayOp, op);
    QFETCH(qint32, number);
    QFETCH(QString, source);
    QFETCH(QString, description);

    CArray a = Abc();
    QString before;
    try {
        // Steps before the failing one set the scene; the failing one must change nothing.
        CArray probe = Abc();
        try {
            op(probe);
        } catch (const containers::Error&) {
        }
        before = State(probe);
        op(a);
        QFAIL("no error raised");
    } catch (const containers::Error& e) {
        QCOMPARE(e.Number(), number);
        QCOMPARE(e.Source(), source);
        QCOMPARE(e.Description(), description);
    }
    QCOMPARE(State(a), before);
}

void TestCArray::storage_data()
{
    QTest::addColumn<ArrayOp>("op");
    QTest::addColumn<QString>("expected");

    QTest::newRow("Remove first") << ArrayOp([](CArray& a) { QCOMPARE(a.Remove(0).ToText(), "a"); })
                                  << "0..1:b|c";
    QTest::newRow("Remove last") << ArrayOp([](CArray& a) { QCOMPARE(a.Remove(2).ToText(), "c"); })
                                 << "0..1:a|b";
    QTest::newRow("PopValue") << ArrayOp([](CArray& a) { QCOMPARE(a.PopValue().ToText(), "c"); })
                              << "0..1:a|b";
    QTest::newRow("PopValue then UpperBound revives") << ArrayOp([](CArray& a) {
        a.PopValue();
        a.SetUpperBound(2);
    }) << "0..2:a|b|c";
    QTest::newRow("Remove then UpperBound revives the old last") << ArrayOp([](CArray& a) {
        a.Remove(1);
        a.SetUpperBound(2);
    }) << "0..2:a|c|c";
    QTest::newRow("Remove last then UpperBound") << ArrayOp([](CArray& a) {
        a.Remove(2);
        a.SetUpperBound(2);
    }) << "0..2:a|b|c";
    QTest::newRow("AddValue overwrites the spare slot") << ArrayOp([](CArray& a) {
        a.PopValue();
        a.AddValue(Variant("x"));
    }) << "0..2:a|b|x";
    QTest::newRow("AddValue drops spare slots above it") << ArrayOp([](CArray& a) {
        a.PopValue();
        a.PopValue();
        a.AddValue(Variant("x"));
        a.SetUpperBound(2);
    }) << "0..2:a|x|";
    QTest::newRow("UpperBound shrink drops slots") << ArrayOp([](CArray& a) {
        a.SetUpperBound(0);
        a.SetUpperBound(2);
    }) << "0..2:a||";
    QTest::newRow("UpperBound grows by empty elements") << ArrayOp([](CArray& a) { a.SetUpperBound(4); })
                                                        << "0..4:a|b|c||";
    QTest::newRow("UpperBound lower - 1 empties") << ArrayOp([](CArray& a) {
        a.SetUpperBound(-1);
        QCOMPARE(a.Count(), 0);
        a.SetUpperBound(0);
    }) << "0..0:a";
    QTest::newRow("Insert in the middle") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), 1); })
                                          << "0..3:a|x|b|c";
    QTest::newRow("Insert at the start") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), 0); })
                                         << "0..3:x|a|b|c";
    QTest::newRow("Insert appends") << ArrayOp([](CArray& a) { a.Insert(Variant("x"), 3); }) << "0..3:a|b|c|x";
    QTest::newRow("Insert after PopValue") << ArrayOp([](CArray& a) {
        a.PopValue();
        a.PopValue();
        a.Insert(Variant("x"), 0);
        a.SetUpperBound(2);
    }) << "0..2:x|a|";
    QTest::newRow("LowerBound empties") << ArrayOp([](CArray& a) {
        a.SetLowerBound(5);
        QCOMPARE(a.Count(), 0);
        QCOMPARE(a.Find(Variant("a")), 4);
        a.AddValue(Variant("y"));
        QCOMPARE(a.Value(5).ToText(), "y");
    }) << "5..5:y";
    QTest::newRow("Clear resets the lower bound") << ArrayOp([](CArray& a) {
        a.SetLowerBound(5);
        a.AddValue(Variant("y"));
        a.Clear();
        a.SetUpperBound(0);
    }) << "0..0:";
    QTest::newRow("Swap") << ArrayOp([](CArray& a) { a.Swap(0, 2); }) << "0..2:c|b|a";
    QTest::newRow("Swap with itself") << ArrayOp([](CArray& a) { a.Swap(1, 1); }) << "0..2:a|b|c";
    QTest::newRow("Fill leaves spare slots") << ArrayOp([](CArray& a) {
        a.PopValue();
        a.Fill(Variant(7));
        a.SetUpperBound(2);
    }) << "0..2:7|7|c";
    QTest::newRow("stored copy is independent") << ArrayOp([](CArray& a) {
        QString s = QStringLiteral("x");
        a.SetValue(0, Variant(s));
        s[0] = QLatin1Char('y');
    }) << "0..2:x|b|c";
    QTest::newRow("List of numbers") << ArrayOp([](CArray& a) {
        a.Clear();
        a.AddValue(Variant(1));
        a.AddValue(Variant(2.5));
        a.AddValue(Variant(true));
        a.AddValue(Variant());
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
    QTest::newRow("absent with Default") << Variant("z") << 99 << 99;
    QTest::newRow("present with Default") << Variant("c") << 99 << 2;
    QTest::newRow("case-sensitive") << Variant("B") << none << -1;
    QTest::newRow("number equal to another kind") << Variant(qint16(1)) << none << 4;
    QTest::newRow("number never equals its text") << Variant(2) << none << -1;
    QTest::newRow("null is never found") << Variant::Null() << none << -1;
}

void TestCArray::find()
{
    QFETCH(Variant, sought);
    QFETCH(qint32, Default);
    QFETCH(qint32, expected);
    CArray a = Abc();
    a.AddValue(Variant("b"));
    a.AddValue(Variant(1.0));
    a.AddValue(Variant("2"));
    QCOMPARE(a.Find(sought, Default), expected);
}

void TestCArray::findAsksTheObject()
{
    CArray a = Abc();
    auto matcher = std::make_shared<Matcher>(QStringLiteral("b"));
    QCOMPARE(a.Find(Variant(matcher)), 1);
    QCOMPARE(matcher->calls, 2); // stops at the first match

    QCOMPARE(a.Find(Variant(std::make_shared<Answer>(Variant::Null()))), -1);
    QCOMPARE(a.Find(Variant(std::make_shared<Answer>(Variant(-1)))), 0);
    QCOMPARE(a.Find(Variant(std::make_shared<Answer>(Variant("False")))), -1);

    // A container sought among containers: found by equal contents.
    CArray outer;
    auto first = std::make_shared<CArray>();
    first->AddValue(Variant("x"));
    outer.AddValue(Variant(first));
    outer.AddValue(Variant(a.Clone()));
    QCOMPARE(outer.Find(Variant(a.Clone())), 1);
    QCOMPARE(outer.Find(Variant(std::make_shared<CArray>())), -1);
}

void TestCArray::findWithNullObjectFailsOnFirstComparison()
{
    CArray empty;
    QCOMPARE(empty.Find(Variant::NullObject(), 7), 7);
    CArray a = Abc();
    try {
        a.Find(Variant::NullObject());
        QFAIL("no error");
    } catch (const containers::Error& e) {
        QCOMPARE(e.Number(), containers::kObjectNotSetErrorNumber);
        QCOMPARE(e.Description(), QStringLiteral("Object variable or With block variable not set"));
    }
}

void TestCArray::removeValue()
{
    CArray a = Abc();
    a.AddValue(Variant("b"));
    QCOMPARE(a.RemoveValue(Variant("b")), 1);
    QCOMPARE(State(a), QStringLiteral("0..2:a|c|b"));
    QCOMPARE(a.RemoveValue(Variant("z")), -1);
    QCOMPARE(State(a), QStringLiteral("0..2:a|c|b"));
    a.SetLowerBound(3);
    QCOMPARE(a.RemoveValue(Variant("z")), 2);
}

void TestCArray::equals_data()
{
    QTest::addColumn<ArrayOp>("change");
    QTest::addColumn<bool>("expected");
    QTest::newRow("same bounds and elements") << ArrayOp([](CArray&) {}) << true;
    QTest::newRow("numbers of other kinds") << ArrayOp([](CArray& c) {
        c.SetValue(3, Variant(qint16(1)));
    }) << true;
    QTest::newRow("null never differs") << ArrayOp([](CArray& c) { c.SetValue(0, Variant::Null()); }) << true;
    QTest::newRow("one element differs") << ArrayOp([](CArray& c) { c.SetValue(2, Variant("C")); }) << false;
    QTest::newRow("one more element") << ArrayOp([](CArray& c) { c.AddValue(Variant()); }) << false;
    QTest::newRow("another lower bound") << ArrayOp([](CArray& c) {
        c.SetLowerBound(1);
        for (const char* s : {"a", "b", "c"})
            c.AddValue(Variant(s));
        c.AddValue(Variant(1));
    }) << false;
    QTest::newRow("emptied") << ArrayOp([](CArray& c) { c.Clear(); }) << false;
}

void TestCArray::equals()
{
    QFETCH(ArrayOp, change);
    QFETCH(bool, expected);
    CArray a = Abc();
    a.AddValue(Variant(1));
    const auto c = a.Clone();
    change(*c);
    QCOMPARE(a.Equals(c.get()), expected);
    QCOMPARE(c->Equals(&a), expected);
    QVERIFY(!a.Equals(static_cast<const CArray*>(nullptr)));
    CArray e1, e2;
    QVERIFY(e1.Equals(&e2));
}

void TestCArray::cloneIsShallow()
{
    auto o1 = std::make_shared<containers::VObject>();
    auto o2 = std::make_shared<containers::VObject>();
    CArray a;
    a.SetLowerBound(2);
    a.AddValue(Variant(o1));
    a.AddValue(Variant(o2));
    a.AddValue(Variant("text"));
    a.PopValue(); // a spare slot that the clone must not carry

    const auto c = a.Clone();
    QCOMPARE(c->LowerBound(), 2);
    QCOMPARE(c->UpperBound(), 3);
    QCOMPARE(c->Value(2).ToObject(), containers::ObjectRef(o1));
    QCOMPARE(c->Value(3).ToObject(), containers::ObjectRef(o2));
    c->SetValue(2, Variant("new"));
    QCOMPARE(a.Value(2).ToObject(), containers::ObjectRef(o1));
    c->SetUpperBound(4);
    QVERIFY(c->Value(4).IsEmpty());
}

void TestCArray::objectsAreSharedAndReleased()
{
    auto object = std::make_shared<containers::VObject>();
    std::weak_ptr<containers::VObject> watch = object;
    CArray a;
    a.AddValue(Variant(object));
    a.AddValue(Variant("x"));
    QCOMPARE(a.Value(0).ToObject().get(), object.get());
    a.Insert(Variant::NullObject(), 0);
    QVERIFY(a.Value(0).IsObject());
    QVERIFY(!a.Value(0).ToObject());
    QCOMPARE(a.Value(1).ToObject().get(), object.get());
    a.Swap(0, 1);
    QCOMPARE(a.Value(0).ToObject().get(), object.get());
    object.reset();
    a.PopValue();
    a.PopValue();
    a.PopValue();
    QCOMPARE(a.Count(), 0);
    QVERIFY(!watch.expired()); // still held by a spare slot
    a.Clear();
    QVERIFY(watch.expired());
}

QTEST_APPLESS_MAIN(TestCArray)
#include "test_carray.moc"
