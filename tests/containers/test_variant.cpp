// The comparison table of the container's values and their text form.
#include "containers/Error.h"
#include "containers/Variant.h"

#include <QtTest>

using containers::Variant;

Q_DECLARE_METATYPE(containers::Variant)

namespace {

Variant Currency(double units)
{
    return Variant::FromCurrency(qint64(units * 10000));
}

} // namespace

class TestVariant : public QObject {
    Q_OBJECT

private slots:
    void comparison_data();
    void comparison();
    void orderingAnObjectIsATypeMismatch();
    void text_data();
    void text();
    void anObjectHasNoText();
};

void TestVariant::comparison_data()
{
    QTest::addColumn<Variant>("a");
    QTest::addColumn<Variant>("b");
    // -1: a < b, 0: a = b, 1: a > b, 2: not comparable (every test false).
    QTest::addColumn<int>("order");

    auto obj = std::make_shared<containers::VObject>();
    auto other = std::make_shared<containers::VObject>();

    QTest::newRow("long 1 = double 1") << Variant(1) << Variant(1.0) << 0;
    QTest::newRow("integer 2 < long 10") << Variant(qint16(2)) << Variant(10) << -1;
    QTest::newRow("true = -1") << Variant(true) << Variant(-1) << 0;
    QTest::newRow("true < false") << Variant(true) << Variant(false) << -1;
    QTest::newRow("currency 0.1 = double 0.1") << Currency(0.1) << Variant(0.1) << 0;
    QTest::newRow("currency 1.5 > long 1") << Currency(1.5) << Variant(1) << 1;
    QTest::newRow("currency beyond double precision")
        << Variant::FromCurrency(Q_INT64_C(9007199254740993)) << Variant::FromCurrency(Q_INT64_C(9007199254740992))
        << 1;
    QTest::newRow("date = its days") << Variant::FromDate(45000.5) << Variant(45000.5) << 0;
    QTest::newRow("texts 10 < 2") << Variant("10") << Variant("2") << -1;
    QTest::newRow("capital before small") << Variant("Zeta") << Variant("alfa") << -1;
    QTest::newRow("prefix before longer") << Variant("ab") << Variant("abc") << -1;
    QTest::newRow("accented after unaccented") << Variant(u"\u00e0") << Variant("z") << 1;
    QTest::newRow("case differs") << Variant("a") << Variant("A") << 1;
    QTest::newRow("identical texts") << Variant("rossi") << Variant("rossi") << 0;
    QTest::newRow("number below text") << Variant(1000) << Variant("1") << -1;
    QTest::newRow("0 is not the empty text") << Variant(0) << Variant("") << -1;
    QTest::newRow("text above number") << Variant("") << Variant(-5.5) << 1;
    QTest::newRow("empty as 0") << Variant() << Variant(0) << 0;
    QTest::newRow("empty as 0 against -1") << Variant() << Variant(-1) << 1;
    QTest::newRow("empty as false") << Variant() << Variant(false) << 0;
    QTest::newRow("empty as empty text") << Variant() << Variant("") << 0;
    QTest::newRow("empty below text") << Variant() << Variant("a") << -1;
    QTest::newRow("both empty") << Variant() << Variant() << 0;
    QTest::newRow("null against null") << Variant::Null() << Variant::Null() << 2;
    QTest::newRow("null against number") << Variant::Null() << Variant(1) << 2;
    QTest::newRow("text against null") << Variant("a") << Variant::Null() << 2;
    QTest::newRow("null against empty") << Variant::Null() << Variant() << 2;
    QTest::newRow("double NaN") << Variant(std::nan("")) << Variant(1.0) << 2;
    // Objects only answer equal/unequal: order 1 here means "unequal".
    QTest::newRow("same object") << Variant(obj) << Variant(obj) << 0;
    QTest::newRow("two objects") << Variant(obj) << Variant(other) << 1;
    QTest::newRow("object against text") << Variant(obj) << Variant("x") << 1;
    QTest::newRow("null references") << Variant::NullObject() << Variant::NullObject() << 0;
    QTest::newRow("null reference against empty") << Variant::NullObject() << Variant() << 1;
}

void TestVariant::comparison()
{
    QFETCH(Variant, a);
    QFETCH(Variant, b);
    QFETCH(int, order);
    const bool comparable = order != 2;
    QCOMPARE(containers::Equal(a, b), order == 0);
    QCOMPARE(containers::Equal(b, a), order == 0);
    QCOMPARE(containers::Unequal(a, b), comparable && order != 0);
    QCOMPARE(containers::EqualFast(a, b), order == 0);
    QCOMPARE(containers::UnequalFast(a, b), comparable && order != 0);
    if (a.IsObject() || b.IsObject())
        return;
    QCOMPARE(containers::LessOrEqual(a, b), comparable && order <= 0);
    QCOMPARE(containers::LessOrEqual(b, a), comparable && order >= 0);
    QCOMPARE(containers::LessOrEqualFast(a, b), comparable && order <= 0);
}

void TestVariant::orderingAnObjectIsATypeMismatch()
{
    const Variant obj(std::make_shared<containers::VObject>());
    for (const Variant& other : {Variant("a"), obj, Variant::NullObject()}) {
        try {
            containers::LessOrEqual(obj, other);
            QFAIL("no error");
        } catch (const containers::Error& e) {
            QCOMPARE(e.Number(), containers::kTypeMismatchErrorNumber);
        }
    }
    // Null still wins: no test is true, and none fails.
    QVERIFY(!containers::LessOrEqual(Variant::Null(), obj));
}

void TestVariant::text_data()
{
    QTest::addColumn<Variant>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("empty") << Variant() << "";
    QTest::newRow("null") << Variant::Null() << "";
    QTest::newRow("text as it is") << Variant(" Ciao, mondo ") << " Ciao, mondo ";
    QTest::newRow("integer") << Variant(qint16(-32768)) << "-32768";
    QTest::newRow("long") << Variant(2147483647) << "2147483647";
    QTest::newRow("double") << Variant(0.1) << "0.1";
    QTest::newRow("double whole") << Variant(1234567.0) << "1234567";
    QTest::newRow("double large") << Variant(1e20) << "1e+20";
    QTest::newRow("double minus zero") << Variant(-0.0) << "0";
    QTest::newRow("currency") << Variant::FromCurrency(32500) << "3.25";
    QTest::newRow("currency whole") << Variant::FromCurrency(-10000) << "-1";
    QTest::newRow("currency smallest") << Variant::FromCurrency(-1) << "-0.0001";
    QTest::newRow("true") << Variant(true) << "True";
    QTest::newRow("false") << Variant(false) << "False";
    QTest::newRow("date") << Variant::FromDate(45000) << "2023-03-15";
    QTest::newRow("date and time") << Variant::FromDate(45000.75) << "2023-03-15 18:00:00";
    QTest::newRow("time alone") << Variant::FromDate(0.5) << "12:00:00";
    QTest::newRow("before day 0") << Variant::FromDate(-1.25) << "1899-12-29 06:00:00";
    QTest::newRow("rounds into next day") << Variant::FromDate(1.9999999) << "1900-01-01";
}

void TestVariant::text()
{
    QFETCH(Variant, value);
    QFETCH(QString, expected);
    QCOMPARE(value.ToText(), expected);
}

void TestVariant::anObjectHasNoText()
{
    for (const Variant& v : {Variant(std::make_shared<containers::VObject>()), Variant::NullObject()}) {
        try {
            v.ToText();
            QFAIL("no error");
        } catch (const containers::Error& e) {
            QCOMPARE(e.Number(), containers::kTypeMismatchErrorNumber);
        }
    }
}

QTEST_APPLESS_MAIN(TestVariant)
#include "test_variant.moc"
