// The comparison table of the container's values and their text form.
#include "containers/Error.h"
#include "containers/Variant.h"

#include <QtTest>

using containers::Variant;
Q_DECLARE_METATYPE(containers::Variant)

class TestVariant : public QObject {
    Q_OBJECT

private slots:
    void comparison_data();
    void comparison();
    void text_data();
    void text();
    void objectsHaveNoOrderAndNoText();
};

void TestVariant::comparison_data()
{
    QTest::addColumn<Variant>("a");
    QTest::addColumn<Variant>("b");
    QTest::addColumn<int>("order"); // -1 a < b, 0 equal, 1 a > b (objects: unequal), 2 all tests false
    auto obj = std::make_shared<containers::VObject>();

    QTest::newRow("long 1 = double 1") << Variant(1) << Variant(1.0) << 0;
    QTest::newRow("true = -1") << Variant(true) << Variant(-1) << 0;
    QTest::newRow("currency 0.1 = double 0.1") << Variant::FromCurrency(1000) << Variant(0.1) << 0;
    QTest::newRow("currency exact beyond double")
        << Variant::FromCurrency(Q_INT64_C(9007199254740993)) << Variant::FromCurrency(Q_INT64_C(9007199254740992))
        << 1;
    QTest::newRow("texts 10 < 2") << Variant("10") << Variant("2") << -1;
    QTest::newRow("capital before small") << Variant("Zeta") << Variant("alfa") << -1;
    QTest::newRow("accented after z") << Variant(u"\u00e0") << Variant("z") << 1;
    QTest::newRow("number below text") << Variant(1000) << Variant("1") << -1;
    QTest::newRow("0 is not the empty text") << Variant(0) << Variant("") << -1;
    QTest::newRow("empty as 0") << Variant() << Variant(0) << 0;
    QTest::newRow("empty above -1") << Variant() << Variant(qint16(-1)) << 1;
    QTest::newRow("empty below text") << Variant() << Variant("a") << -1;
    QTest::newRow("both empty") << Variant() << Variant() << 0;
    QTest::newRow("null, null") << Variant::Null() << Variant::Null() << 2;
    QTest::newRow("null, empty") << Variant::Null() << Variant() << 2;
    QTest::newRow("NaN") << Variant(std::nan("")) << Variant(1.0) << 2;
    QTest::newRow("same object") << Variant(obj) << Variant(obj) << 0;
    QTest::newRow("two objects") << Variant(obj) << Variant(std::make_shared<containers::VObject>()) << 1;
    QTest::newRow("object, text") << Variant(obj) << Variant("x") << 1;
    QTest::newRow("null references") << Variant::NullObject() << Variant::NullObject() << 0;
}

void TestVariant::comparison()
{
    QFETCH(Variant, a);
    QFETCH(Variant, b);
    QFETCH(int, order);
    const bool comparable = order != 2;
    QCOMPARE(containers::Equal(a, b), order == 0);
    QCOMPARE(containers::EqualFast(b, a), order == 0);
    QCOMPARE(containers::Unequal(a, b), comparable && order != 0);
    QCOMPARE(containers::UnequalFast(b, a), comparable && order != 0);
    if (a.IsObject() || b.IsObject())
        return;
    QCOMPARE(containers::LessOrEqual(a, b), comparable && order <= 0);
    QCOMPARE(containers::LessOrEqualFast(b, a), comparable && order >= 0);
}

void TestVariant::text_data()
{
    QTest::addColumn<Variant>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << Variant() << "";
    QTest::newRow("null") << Variant::Null() << "";
    QTest::newRow("double") << Variant(0.1) << "0.1";
    QTest::newRow("double minus zero") << Variant(-0.0) << "0";
    QTest::newRow("currency") << Variant::FromCurrency(32500) << "3.25";
    QTest::newRow("true") << Variant(true) << "True";
    QTest::newRow("date") << Variant::FromDate(45000) << "2023-03-15";
    QTest::newRow("date and time") << Variant::FromDate(45000.75) << "2023-03-15 18:00:00";
    QTest::newRow("before day 0") << Variant::FromDate(-1.25) << "1899-12-29 06:00:00";
    QTest::newRow("rounds into next day") << Variant::FromDate(1.9999999) << "1900-01-01";
}

void TestVariant::text()
{
    QFETCH(Variant, value);
    QFETCH(QString, expected);
    QCOMPARE(value.ToText(), expected);
}

void TestVariant::objectsHaveNoOrderAndNoText()
{
    const Variant obj(std::make_shared<containers::VObject>());
    const std::function<void()> ops[] = {[&] { containers::LessOrEqual(obj, Variant("a")); },
                                         [&] { containers::LessOrEqual(Variant(), Variant::NullObject()); },
                                         [&] { obj.ToText(); }, [&] { Variant::NullObject().ToText(); }};
    for (const auto& op : ops) {
        try {
            op();
            QFAIL("no error");
        } catch (const containers::Error& e) {
            QCOMPARE(e.Number(), containers::kTypeMismatchErrorNumber);
        }
    }
    QVERIFY(!containers::LessOrEqual(Variant::Null(), obj)); // null wins: false, no error
}

QTEST_APPLESS_MAIN(TestVariant)
#include "test_variant.moc"
