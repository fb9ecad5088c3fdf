// Figures of the container: appends, a linear Find, and Sort against std::sort over the
// same texts. Prints only; the goals are Sort within 2x of std::sort and one million
// appends under 100 ms.
#include "containers/CArray.h"

#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QStringList>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

using containers::CArray;
using containers::Variant;

namespace {

double Ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

QString RandomWord(QRandomGenerator& random, int minLength, int maxLength)
{
    const int length = int(random.bounded(minLength, maxLength + 1));
    QString s(length, Qt::Uninitialized);
    for (int i = 0; i < length; ++i)
        s[i] = QChar(u'a' + char16_t(random.bounded(26)));
    return s;
}

// "Nickname<TAB>address": capitalised or not, an e-mail address or a mobile number.
QStringList AddressBook(QRandomGenerator& random, int count)
{
    QStringList entries;
    entries.reserve(count);
    for (int i = 0; i < count; ++i) {
        QString nick = RandomWord(random, 3, 10);
        if (random.bounded(2))
            nick[0] = nick[0].toUpper();
        const QString address = random.bounded(4) == 0
                                    ? QStringLiteral("34%1").arg(random.bounded(100000000), 8, 10, QLatin1Char('0'))
                                    : RandomWord(random, 4, 12) + QLatin1Char('@') + RandomWord(random, 3, 8) +
                                          QStringLiteral(".it");
        entries << nick + QLatin1Char('\t') + address;
    }
    return entries;
}

void CompareSorts(const char* what, const QStringList& texts)
{
    CArray array;
    for (const QString& t : texts)
        array.AddValue(Variant(t));
    QStringList plain = texts;

    QElapsedTimer t;
    t.start();
    array.Sort();
    const double sortMs = Ms(t);

    t.restart();
    std::sort(plain.begin(), plain.end());
    const double stdMs = Ms(t);

    bool same = true;
    for (qint32 i = 0; i < array.Count() && same; ++i)
        same = array.Value(i).ToText() == plain.at(i);
    std::printf("Sort %-34s CArray %9.2f ms   std::sort %9.2f ms   ratio %.2f%s\n", what, sortMs, stdMs,
                sortMs / stdMs, same ? "" : "   (ORDER DIFFERS)");
}

} // namespace

int main()
{
    QRandomGenerator random(4242);

    {
        // The floor of any append benchmark here: writing fresh pages for the storage.
        const size_t bytes = 1000000 * sizeof(Variant);
        QElapsedTimer t;
        t.start();
        volatile char* block = static_cast<volatile char*>(std::malloc(bytes));
        for (size_t i = 0; i < bytes; i += 4096)
            block[i] = 1;
        std::printf("first write of %zu MB fresh memory  %9.2f ms (machine's page-fault cost)\n",
                    bytes >> 20, Ms(t));
        std::free(const_cast<char*>(block));
    }
    std::vector<QString> texts;
    texts.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        texts.push_back(QStringLiteral("msg%1").arg(i));
    for (const char* round : {"cold", "warm"}) {
        // "warm": the allocator hands back memory the first round already touched.
        if (std::strcmp(round, "warm") == 0) {
            mallopt(M_MMAP_THRESHOLD, 256 << 20);
            mallopt(M_TRIM_THRESHOLD, 512 << 20);
            CArray warmUp;
            for (int i = 0; i < 1000000; ++i)
                warmUp.AddValue(Variant(i));
        }
        {
            CArray a;
            QElapsedTimer t;
            t.start();
            for (int i = 0; i < 1000000; ++i)
                a.AddValue(Variant(i));
            std::printf("AddValue 1,000,000 integers (%s)   %9.2f ms\n", round, Ms(t));
        }
        {
            CArray a;
            QElapsedTimer t;
            t.start();
            for (const QString& s : texts)
                a.AddValue(Variant(s));
            std::printf("AddValue 1,000,000 short texts (%s)%9.2f ms\n", round, Ms(t));
        }
    }
    {
        CArray a;
        for (int i = 0; i < 100000; ++i)
            a.AddValue(Variant(QStringLiteral("notizia numero %1").arg(i)));
        const Variant last(QStringLiteral("notizia numero 99999"));
        const Variant absent(QStringLiteral("notizia assente"));
        const int rounds = 20;
        QElapsedTimer t;
        t.start();
        qint64 sum = 0;
        for (int r = 0; r < rounds; ++r)
            sum += a.Find(r % 2 ? last : absent);
        std::printf("Find over 100,000 texts (full scan)  %9.3f ms per Find (check %lld)\n", Ms(t) / rounds,
                    static_cast<long long>(sum));
    }

    CompareSorts("32,767 address-book texts", AddressBook(random, 32767));
    QStringList words;
    words.reserve(1000000);
    for (int i = 0; i < 1000000; ++i)
        words << RandomWord(random, 5, 20);
    CompareSorts("1,000,000 random texts", words);
    return 0;
}
