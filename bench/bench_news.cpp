// Processor time of one results page through the completion handler's steps 5 to 10 (body cut,
// volleyball extraction, digest), beside one QString::indexOf pass over the same page for a
// string that is not there. Prints figures only.
#include "settings/modMain.h"
#include "mail/Outbox.h"
#include "news/NewsFetcher.h"

#include <QString>

#include <algorithm>
#include <cstdio>
#include <ctime>

namespace {

class StillClock final : public platform::IClock {
public:
    double Now() const override { return 45000.5; }
};

// A generated results page of about size characters: match rows of the league's layout,
// every eighth one still running, padded to the size.
QString ResultsPage(qsizetype size, int& rows)
{
    QString page = QStringLiteral("<html><head><title>Risultati</title></head>\n<body bgcolor=\"#FFFFFF\">\n<table>\n");
    const QString tail = QStringLiteral("</table>\n</body>\n</html>\n");
    rows = 0;
    while (true) {
        const bool running = rows % 8 == 7;
        const QString row = QStringLiteral("<tr class=\"Acquisto\"><td>Alpha T%1</td><td>Beta U%1</td>"
                                           "<td><b>%2</b></td><td>25-%3</td><td>&nbsp;</td></tr>\n")
                                .arg(rows)
                                .arg(running ? QStringLiteral("1-1") : QStringLiteral("3-1"))
                                .arg(rows % 23);
        if (page.size() + row.size() + tail.size() > size)
            break;
        page += row;
        ++rows;
    }
    page += QString(size - page.size() - tail.size(), QLatin1Char(' '));
    page += tail;
    return page;
}

struct Rig {
    Rig()
        : outbox(lstLog), digest(outbox, settings, clock, [] { return QString(); }, [](const QString&) {}),
          fetcher(http, settings, clock, digest)
    {
        settings.PallavoloA1_finali = true;
        settings.PallavoloA1_parziali = true;
        settings.PallavoloDettaglio = QStringLiteral("*");
    }
    struct NoHttp final : platform::IHttpClient {
        bool IsExecuting() const override { return false; }
        void StartRequest(const QString&, const QString&) override {}
        QString RequestHost() const override { return {}; }
        QString ReadBody(int) override { return {}; }
        void CancelRequest() override {}
    } http;
    mail::MemoryStatusList lstLog;
    mail::Outbox outbox;
    settings::ModMain settings;
    StillClock clock;
    news::NewsDigest digest;
    news::NewsFetcher fetcher;
};

// This thread's processor time in nanoseconds: steadier than the wall clock on a machine
// shared with builds.
qint64 CpuNs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return qint64(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

// Milliseconds of processor time per call of f, over at least 300 ms of calls.
template <class F>
double MsPerCallOnce(F&& f)
{
    qint64 calls = 0;
    const qint64 start = CpuNs();
    qint64 elapsed = 0;
    do {
        f();
        ++calls;
        elapsed = CpuNs() - start;
    } while (elapsed < 300'000'000);
    return elapsed / 1e6 / calls;
}

// The best of three runs: the others were slowed by neighbours on the machine.
template <class F>
double MsPerCall(F&& f)
{
    double best = MsPerCallOnce(f);
    for (int run = 0; run < 2; ++run)
        best = std::min(best, MsPerCallOnce(f));
    return best;
}

} // namespace

int main()
{
    std::printf("%-8s %6s %14s %14s %12s %10s %10s\n", "page", "rows", "new ms/page", "seen ms/page", "indexOf ms",
                "new/idx", "seen/idx");
    for (qsizetype size : {25000, 50000, 100000}) {
        int rows = 0;
        const QString page = ResultsPage(size, rows);
        const QString host = news::kDefaultVolleyHost;

        // Every line new: a fresh seen list for each page.
        const double fresh = MsPerCall([&] {
            Rig rig;
            rig.fetcher.ProcessPage(page, host);
        });

        // The same page fetched again and again: every line already in the seen list.
        Rig seen;
        for (int i = 0; i <= rows; ++i)
            seen.fetcher.ProcessPage(page, host);
        const qsizetype recorded = seen.digest.newsSeen.Count();
        const double again = MsPerCall([&] { seen.fetcher.ProcessPage(page, host); });

        volatile qsizetype sink = 0;
        const double scan = MsPerCall([&] { sink = sink + page.indexOf(QLatin1String("<notthere>")); });

        std::printf("%-8lld %6d %14.4f %14.4f %12.4f %10.1f %10.1f   (seen list %lld)\n",
                    static_cast<long long>(page.size()), rows, fresh, again, scan, fresh / scan, again / scan,
                    static_cast<long long>(recorded));
    }
    return 0;
}
