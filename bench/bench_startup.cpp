// Start-up of Brevilo beside a bare Qt Widgets window: wall time from process start to the
// first paint of the main window, and peak memory (VmHWM). Runs both alternately, prints the
// medians and the ratios. Goal: Brevilo within 1.3x of the bare program on both.
#include "StartupRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

using Sample = bench::StartupSample;

template <typename T>
T Median(std::vector<T> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    const QString dir = QCoreApplication::applicationDirPath();
    const QString brevilo = dir + QStringLiteral("/startup_brevilo");
    const QString bare = dir + QStringLiteral("/startup_bare");
    const int runs = argc > 1 ? std::max(1, atoi(argv[1])) : 11;
    QTemporaryDir scratch;

    // One unmeasured run each, so both start from a warm file cache.
    bench::StartProbe(bare, scratch.path());
    bench::StartProbe(brevilo, scratch.path());

    std::vector<double> breviloMs, bareMs;
    std::vector<long> breviloKiB, bareKiB;
    for (int i = 0; i < runs; ++i) {
        const Sample a = bench::StartProbe(bare, scratch.path());
        const Sample b = bench::StartProbe(brevilo, scratch.path());
        if (a.ms < 0 || b.ms < 0) {
            std::fprintf(stderr, "a start-up did not report its window\n");
            return 1;
        }
        bareMs.push_back(a.ms);
        bareKiB.push_back(a.kib);
        breviloMs.push_back(b.ms);
        breviloKiB.push_back(b.kib);
    }
    const double tBare = Median(bareMs), tBrevilo = Median(breviloMs);
    const long mBare = Median(bareKiB), mBrevilo = Median(breviloKiB);
    std::printf("start-up, median of %d runs (platform %s)\n", runs,
                qEnvironmentVariableIsSet("QT_QPA_PLATFORM") ? qgetenv("QT_QPA_PLATFORM").constData()
                : qEnvironmentVariableIsSet("DISPLAY")     ? "xcb"
                                                            : "offscreen");
    std::printf("  bare Qt window : %8.1f ms  %8ld KiB peak\n", tBare, mBare);
    std::printf("  Brevilo        : %8.1f ms  %8ld KiB peak\n", tBrevilo, mBrevilo);
    std::printf("  ratio          : %8.2fx     %8.2fx   (goal: within 1.30x)\n", tBrevilo / tBare,
                double(mBrevilo) / double(mBare));
    return 0;
}
