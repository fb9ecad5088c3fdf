#pragma once

#include <QElapsedTimer>
#include <QProcess>
#include <QString>

namespace bench {

struct StartupSample {
    double ms = -1; // process start to the first paint of its window
    long kib = -1;  // the probe's peak resident memory then
};

// Starts a probe program (one that prints "SHOWN <VmHWM KiB>" after its first paint, see
// StartupProbe.h) with its data in scratch, offscreen unless a display is set, and times it.
inline StartupSample StartProbe(const QString& program, const QString& scratch)
{
    QProcess child;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains(QStringLiteral("QT_QPA_PLATFORM")) && !env.contains(QStringLiteral("DISPLAY")))
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    env.insert(QStringLiteral("BREVILO_BENCH_DIR"), scratch);
    child.setProcessEnvironment(env);
    child.setProcessChannelMode(QProcess::SeparateChannels);
    QElapsedTimer clock;
    clock.start();
    child.start(program, {});
    StartupSample sample;
    QByteArray out;
    while (child.waitForReadyRead(30000)) {
        out += child.readAllStandardOutput();
        const qsizetype at = out.indexOf("SHOWN ");
        const qsizetype end = at >= 0 ? out.indexOf('\n', at) : -1;
        if (end > at) {
            sample.ms = clock.nsecsElapsed() / 1e6;
            sample.kib = out.mid(at + 6, end - at - 6).trimmed().toLong();
            break;
        }
    }
    if (!child.waitForFinished(10000))
        child.kill();
    child.waitForFinished(1000);
    return sample;
}

} // namespace bench
