// Sort: the order it gives, where equal-but-not-identical elements end, its refusal of
// objects, and inputs that would recurse deeply.
#include "containers/CArray.h"

#include <QRandomGenerator>
#include <QThread>
#include <QtTest>

#include <numeric>

using containers::CArray;
using containers::Variant;

namespace {

QStringList TextsOf(const CArray& a)
{
    QStringList out;
    for (qint32 i = a.LowerBound(); i <= a.UpperBound(); ++i)
        out << a.Value(i).ToText();
    return out;
}

// Kind and value of each element, so that 1, 1.0 and currency 1 stay apart.
QString Described(const CArray& a)
{
    QStringList out;
    for (qint32 i = a.LowerBound(); i <= a.UpperBound(); ++i)
        out << QStringLiteral("%1:%2").arg(int(a.Value(i).Type())).arg(a.Value(i).ToText());
    return out.join(QLatin1Char(' '));
}

// The partition steps in their plain recursive form, upper part first: the container's
// bounded-depth version must place every element exactly as this does.
void ReferenceSort(std::vector<Variant>& v, int lo, int hi)
{
    if (lo >= hi)
        return;
    const Variant pivot = v[(lo + hi) / 2];
    std::swap(v[(lo + hi) / 2], v[hi]);
    int store = lo;
    for (int i = lo; i < hi; ++i)
        if (containers::LessOrEqual(v[i], pivot))
            std::swap(v[store++], v[i]);
    std::swap(v[hi], v[store]);
    ReferenceSort(v, store + 1, hi);
    int k = store - 1;
    while (k >= lo && !containers::Unequal(v[k], pivot))
        --k;
    ReferenceSort(v, lo, k);
}

// Values whose middle element is always the largest of the remaining range: each
// partition peels one element, so a plain recursion would go as deep as the count.
std::vector<int> MiddleMaximumPattern(int n)
{
    std::vector<int> labelAt(n), value(n, 0);
    std::iota(labelAt.begin(), labelAt.end(), 0); // label i starts at slot i
    for (int hi = n - 1; hi >= 1; --hi) {
        value[labelAt[hi / 2]] = hi;
        std::swap(labelAt[hi / 2], labelAt[hi]);
    }
    return value;
}

} // namespace

class TestSort : public QObject {
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void equalButNotIdentical();
    void sameAsThePartitionStepsOnRandomInput();
    void objectsAreRefused();
    void largeInputsDoNotRecurseDeeply();
};

void TestSort::texts_data()
{
    QTest::addColumn<qint32>("lowerBound");
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty") << 0 << QStringList() << QStringList();
    QTest::newRow("one") << 0 << QStringList{"x"} << QStringList{"x"};
    QTest::newRow("capitals, prefixes, accents") << 0 << QStringList{"bruno", u"\u00e8lia"_qs, "Zoe", "br", "Carlo"}
                                                 << QStringList{"Carlo", "Zoe", "br", "bruno", u"\u00e8lia"_qs};
    QTest::newRow("identical together") << 0 << QStringList{"b", "a", "b", "c", "a", "b"}
                                        << QStringList{"a", "a", "b", "b", "b", "c"};
    QTest::newRow("texts 10 before 2") << 0 << QStringList{"2", "10"} << QStringList{"10", "2"};
    QTest::newRow("reversed, lower bound 5") << 5 << QStringList{"e", "d", "c", "b", "a"}
                                             << QStringList{"a", "b", "c", "d", "e"};
}

void TestSort::texts()
{
    QFETCH(qint32, lowerBound);
    QFETCH(QStringList, input);
    QFETCH(QStringList, expected);
    CArray a;
    a.SetLowerBound(lowerBound);
    for (const QString& t : input)
        a.AddValue(Variant(t));
    a.Sort();
    QCOMPARE(a.LowerBound(), lowerBound);
    QCOMPARE(TextsOf(a), expected);
}

void TestSort::equalButNotIdentical()
{
    const QString p = QStringLiteral("%1:1").arg(int(Variant::Kind::Long));
    const QString q = QStringLiteral("%1:1").arg(int(Variant::Kind::Double));
    const QString r = QStringLiteral("%1:1").arg(int(Variant::Kind::Currency));
    CArray a;
    a.AddValue(Variant(1));
    a.AddValue(Variant(1.0));
    a.Sort();
    QCOMPARE(Described(a), q + ' ' + p);
    a.Swap(0, 1);
    a.AddValue(Variant::FromCurrency(10000));
    a.Sort();
    QCOMPARE(Described(a), p + ' ' + r + ' ' + q);
    a.SetValue(0, Variant(10)); // numbers by value, unlike their texts
    a.Sort();
    QCOMPARE(a.List(), QStringLiteral("1, 1, 10"));
}

void TestSort::sameAsThePartitionStepsOnRandomInput()
{
    QRandomGenerator random(20240601);
    for (int round = 0; round < 20; ++round) {
        std::vector<Variant> reference;
        CArray a, expected;
        for (int i = int(random.bounded(1, 400)); i > 0; --i) {
            // Few distinct values in several kinds, so many elements compare equal.
            const int x = int(random.bounded(6));
            const Variant kinds[] = {Variant(x), Variant(double(x)), Variant::FromCurrency(x * 10000),
                                     Variant(QString::number(x)), Variant()};
            reference.push_back(kinds[random.bounded(5)]);
            a.AddValue(reference.back());
        }
        ReferenceSort(reference, 0, int(reference.size()) - 1);
        for (const Variant& v : reference)
            expected.AddValue(v);
        a.Sort();
        QCOMPARE(Described(a), Described(expected));
    }
}

void TestSort::objectsAreRefused()
{
    for (const Variant& object : {Variant(std::make_shared<containers::VObject>()), Variant::NullObject()}) {
        CArray a;
        for (const Variant& v : {Variant("c"), object, Variant("a")})
            a.AddValue(v);
        try {
            a.Sort();
            QFAIL("no error");
        } catch (const containers::Error& e) {
            QCOMPARE(e.Number(), containers::kBoundErrorNumber);
            QCOMPARE(e.Source(), QStringLiteral("CArray"));
            QCOMPARE(e.Description(), QStringLiteral("Non è possibile ordinare elementi oggetto!"));
        }
        QCOMPARE(a.Value(1).ToObject(), object.ToObject());
        a.SetValue(1, Variant("x"));
        QCOMPARE(TextsOf(a), (QStringList{"c", "x", "a"}));
    }
}

void TestSort::largeInputsDoNotRecurseDeeply()
{
    // On a small stack: a recursion as deep as the count would overflow it.
    bool done = false;
    QThread* worker = QThread::create([&done] {
        CArray peeled, same, reversed;
        for (int v : MiddleMaximumPattern(6000))
            peeled.AddValue(Variant(v));
        for (int i = 0; i < 200000; ++i) {
            same.AddValue(Variant(QStringLiteral("uguale")));
            reversed.AddValue(Variant(200000 - i));
        }
        peeled.Sort();
        same.Sort();
        reversed.Sort();
        for (qint32 i = 0; i <= peeled.UpperBound(); ++i)
            if (peeled.Value(i).ToDouble() != i)
                return;
        for (qint32 i = 0; i <= reversed.UpperBound(); ++i)
            if (reversed.Value(i).ToDouble() != i + 1)
                return;
        done = true;
    });
    worker->setStackSize(128 * 1024);
    worker->start();
    QVERIFY(worker->wait());
    delete worker;
    QVERIFY(done);
}

QTEST_GUILESS_MAIN(TestSort)
#include "test_sort.moc"
