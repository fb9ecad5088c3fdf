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

CArray Texts(const QStringList& texts, qint32 lowerBound = 0)
{
    CArray a;
    a.SetLowerBound(lowerBound);
    for (const QString& t : texts)
        a.AddValue(Variant(t));
    return a;
}

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
    const int mid = (lo + hi) / 2;
    const Variant pivot = v[mid];
    std::swap(v[mid], v[hi]);
    int store = lo;
    for (int i = lo; i < hi; ++i)
        if (containers::LessOrEqual(v[i], pivot))
            std::swap(v[store++], v[i]);
    std::swap(v[hi], v[store]);
    ReferenceSort(v, store + 1, hi);
    int k = store - 1;
    while (k >= lo && !containers::Unequal(v[k], pivot))
        --k;
    if (k >= lo)
        ReferenceSort(v, lo, k);
}

// Values whose middle element is always the largest of the remaining range: each
// partition peels one element, so a plain recursion would go as deep as the count.
std::vector<int> MiddleMaximumPattern(int n)
{
    std::vector<int> slotOfLabel(n);
    std::iota(slotOfLabel.begin(), slotOfLabel.end(), 0);
    std::vector<int> labelAt = slotOfLabel;
    std::vector<int> value(n, 0);
    for (int hi = n - 1; hi >= 1; --hi) {
        const int mid = hi / 2;
        value[labelAt[mid]] = hi;
        std::swap(labelAt[mid], labelAt[hi]);
    }
    value[labelAt[0]] = 0;
    return value; // label i starts at slot i
}

} // namespace

class TestSort : public QObject {
    Q_OBJECT

private slots:
    void texts_data();
    void texts();
    void numbersBeforeTexts();
    void equalButNotIdentical_data();
    void equalButNotIdentical();
    void sameAsThePartitionStepsOnRandomInput();
    void lowerBoundNotZero();
    void objectsAreRefused_data();
    void objectsAreRefused();
    void largeInputsDoNotRecurseDeeply();
};

void TestSort::texts_data()
{
    QTest::addColumn<QStringList>("input");
    QTest::addColumn<QStringList>("expected");
    QTest::newRow("empty") << QStringList() << QStringList();
    QTest::newRow("one") << QStringList{"x"} << QStringList{"x"};
    QTest::newRow("capitals first") << QStringList{"bruno", "Zoe", "anna", "Carlo"}
                                    << QStringList{"Carlo", "Zoe", "anna", "bruno"};
    QTest::newRow("prefix first") << QStringList{"abc", "ab", "abcd", "a"} << QStringList{"a", "ab", "abc", "abcd"};
    QTest::newRow("accented last") << QStringList{u"\u00e8lia"_qs, "zeta", "elia"}
                                   << QStringList{"elia", "zeta", u"\u00e8lia"_qs};
    QTest::newRow("identical together") << QStringList{"b", "a", "b", "c", "a", "b"}
                                        << QStringList{"a", "a", "b", "b", "b", "c"};
    QTest::newRow("texts 10 before 2") << QStringList{"2", "10"} << QStringList{"10", "2"};
    QTest::newRow("in order") << QStringList{"a", "b", "c", "d", "e"} << QStringList{"a", "b", "c", "d", "e"};
    QTest::newRow("reversed") << QStringList{"e", "d", "c", "b", "a"} << QStringList{"a", "b", "c", "d", "e"};
    QTest::newRow("address book") << QStringList{"mario\tmario@example.org", "Anna\t3471234567", "mario\ta@b.it"}
                                  << QStringList{"Anna\t3471234567", "mario\ta@b.it", "mario\tmario@example.org"};
}

void TestSort::texts()
{
    QFETCH(QStringList, input);
    QFETCH(QStringList, expected);
    CArray a = Texts(input);
    a.Sort();
    QCOMPARE(TextsOf(a), expected);
}

void TestSort::numbersBeforeTexts()
{
    CArray a;
    for (const Variant& v : {Variant("1"), Variant(10), Variant(2.5), Variant(), Variant(true), Variant(2)})
        a.AddValue(v);
    a.Sort();
    QCOMPARE(a.List(), QStringLiteral("True, , 2, 2.5, 10, 1"));
}

void TestSort::equalButNotIdentical_data()
{
    QTest::addColumn<int>("count");
    QTest::addColumn<QString>("expected");
    const QString p = QStringLiteral("%1:1").arg(int(Variant::Kind::Long));
    const QString q = QStringLiteral("%1:1").arg(int(Variant::Kind::Double));
    const QString r = QStringLiteral("%1:1").arg(int(Variant::Kind::Currency));
    QTest::newRow("p q gives q p") << 2 << q + ' ' + p;
    QTest::newRow("p q r gives p r q") << 3 << p + ' ' + r + ' ' + q;
}

void TestSort::equalButNotIdentical()
{
    QFETCH(int, count);
    QFETCH(QString, expected);
    CArray a;
    a.AddValue(Variant(1));
    a.AddValue(Variant(1.0));
    if (count == 3)
        a.AddValue(Variant::FromCurrency(10000));
    a.Sort();
    QCOMPARE(Described(a), expected);
}

void TestSort::sameAsThePartitionStepsOnRandomInput()
{
    QRandomGenerator random(20240601);
    for (int round = 0; round < 20; ++round) {
        const int n = int(random.bounded(1, 400));
        std::vector<Variant> reference;
        CArray a;
        for (int i = 0; i < n; ++i) {
            // Few distinct values in several kinds, so many elements compare equal.
            const int x = int(random.bounded(6));
            Variant v;
            switch (random.bounded(5)) {
            case 0: v = Variant(x); break;
            case 1: v = Variant(double(x)); break;
            case 2: v = Variant::FromCurrency(qint64(x) * 10000); break;
            case 3: v = Variant(QString::number(x)); break;
            default: v = Variant(); break;
            }
            reference.push_back(v);
            a.AddValue(v);
        }
        ReferenceSort(reference, 0, n - 1);
        CArray expected;
        for (const Variant& v : reference)
            expected.AddValue(v);
        a.Sort();
        QCOMPARE(Described(a), Described(expected));
    }
}

void TestSort::lowerBoundNotZero()
{
    CArray a = Texts({"d", "b", "a", "c"}, 5);
    a.Sort();
    QCOMPARE(a.LowerBound(), 5);
    QCOMPARE(a.UpperBound(), 8);
    QCOMPARE(TextsOf(a), (QStringList{"a", "b", "c", "d"}));
}

void TestSort::objectsAreRefused_data()
{
    QTest::addColumn<Variant>("object");
    QTest::newRow("object") << Variant(std::make_shared<containers::VObject>());
    QTest::newRow("null object reference") << Variant::NullObject();
}

void TestSort::objectsAreRefused()
{
    QFETCH(Variant, object);
    CArray a = Texts({"c", "b", "a"});
    a.Insert(object, 1);
    a.SetValue(2, Variant("a"));
    try {
        a.Sort();
        QFAIL("no error");
    } catch (const containers::Error& e) {
        QCOMPARE(e.Number(), containers::kBoundErrorNumber);
        QCOMPARE(e.Source(), QStringLiteral("CArray"));
        QCOMPARE(e.Description(), QStringLiteral("Non è possibile ordinare elementi oggetto!"));
    }
    QCOMPARE(a.Value(0).ToText(), QStringLiteral("c"));
    QCOMPARE(a.Value(1).ToObject(), object.ToObject());
    QCOMPARE(a.Value(2).ToText(), QStringLiteral("a"));
    QCOMPARE(a.Value(3).ToText(), QStringLiteral("a"));
}

void TestSort::largeInputsDoNotRecurseDeeply()
{
    // On a small stack: a recursion as deep as the count would overflow it.
    bool done = false;
    QThread* worker = QThread::create([&done] {
        const std::vector<int> pattern = MiddleMaximumPattern(6000);
        CArray peeled;
        for (int v : pattern)
            peeled.AddValue(Variant(v));
        peeled.Sort();
        for (qint32 i = 0; i <= peeled.UpperBound(); ++i)
            if (peeled.Value(i).ToDouble() != i)
                return;

        CArray same;
        for (int i = 0; i < 200000; ++i)
            same.AddValue(Variant(QStringLiteral("uguale")));
        same.Sort();

        CArray sorted;
        for (int i = 0; i < 200000; ++i)
            sorted.AddValue(Variant(200000 - i));
        sorted.Sort();
        for (qint32 i = 1; i <= sorted.UpperBound(); ++i)
            if (sorted.Value(i - 1).ToDouble() > sorted.Value(i).ToDouble())
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
