// Sends 500 messages one session after another to a local aiosmtpd through the real
// dispatcher and session, then lets Python's smtplib send 500 to the same server, and
// prints both rates, their ratio and the program's peak memory.
#include "Fakes.h"
#include "LocalSmtpServer.h"
#include "settings/modMain.h"
#include "mail/Dispatcher.h"
#include "platform/QtTcpSocket.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

using namespace mail;

namespace {
constexpr int kMessages = 500;
constexpr int kRounds = 5;

qint64 PeakMemoryKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith("VmHWM:"))
            return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return -1;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("BREVILO_SOURCE_DIR"))
        qputenv("BREVILO_SOURCE_DIR", BREVILO_SOURCE_DIR);

    testsupport::LocalSmtpServer server;
    if (!server.Start()) {
        std::fprintf(stderr, "could not start the local SMTP server:\n%s\n", qPrintable(server.Output()));
        return 1;
    }

    QTemporaryDir data;
    testsupport::FakeClock clock;
    platform::QtTcpSocket ws;
    platform::QtTimer replyTimer;
    settings::ModMain settings;
    settings.SMTP = server.Setting();
    settings.From = QStringLiteral("me@example.org");
    settings.TempoAttesa = 30;
    MemoryStatusList lstLog;
    Outbox outbox(lstLog);
    SendLog sendLog(data.path(), clock);
    SmtpSession session(ws, replyTimer, settings, outbox, sendLog, SmtpSession::Timeouts{});
    Dispatcher dispatcher(outbox, session, settings, clock);

    for (int i = 0; i < kMessages; ++i) {
        auto record = std::make_shared<CMessaggio>();
        record->mailToNick = QStringLiteral("Ann");
        record->mailTo = QStringLiteral("ann@example.org");
        record->mailSubject = QStringLiteral("Benchmark");
        record->mailText = QStringLiteral("Risultati della giornata: tutto come previsto.\nSeconda riga del messaggio di prova.");
        record->mailFrom = settings.From;
        record->mailFromName = QStringLiteral("Mario Rossi");
        record->mailTimeCreated = clock.Now();
        outbox.Enqueue(record, kComposerSeparator);
    }
    clock.AdvanceSeconds(31);

    // Rounds alternate between the two clients, so that load from elsewhere on the machine
    // falls on both alike.
    QElapsedTimer one;
    double ownSeconds = 0;
    double sessionMsSum = 0;
    int sessions = 0;
    int roundLeft = 0;
    auto tick = [&] {
        if (roundLeft == 0) {
            app.quit();
            return;
        }
        --roundLeft;
        one.start();
        dispatcher.Timer1_Timer();
    };
    QObject::connect(&session, &SmtpSession::lblDoingChanged, &app, [&](const QString& caption) {
        if (!caption.isEmpty())
            return;
        sessionMsSum += one.nsecsElapsed() / 1e6;
        ++sessions;
        // The next tick comes from the event loop, never from inside the ending session.
        QMetaObject::invokeMethod(&app, tick, Qt::QueuedConnection);
    });

    double pySeconds = 0;
    for (int round = 0; round < kRounds; ++round) {
        roundLeft = kMessages / kRounds;
        QElapsedTimer wall; // the gaps between sessions count too
        wall.start();
        QMetaObject::invokeMethod(&app, tick, Qt::QueuedConnection);
        app.exec();
        ownSeconds += wall.nsecsElapsed() / 1e9;

        QProcess python;
        python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        python.start(testsupport::ExternalServer::Python(),
                     {QStringLiteral(BREVILO_SOURCE_DIR "/bench/smtplib_sender.py"), QStringLiteral("127.0.0.1"),
                      QString::number(server.Port()), QString::number(kMessages / kRounds)});
        if (!python.waitForFinished(600000) || python.exitCode() != 0) {
            std::fprintf(stderr, "smtplib comparator failed\n");
            return 1;
        }
        const QByteArray out = python.readAllStandardOutput().trimmed();
        pySeconds += out.mid(out.indexOf("SMTPLIB ") + 8).toDouble();
    }
    const qint64 peakKb = PeakMemoryKb();

    int delivered = 0;
    for (int i = 0; i < lstLog.LineCount(); ++i)
        delivered += lstLog.Line(i).startsWith(QLatin1String("OK - ")) ? 1 : 0;
    std::printf("brevilo: %d sessions (%d delivered) in %.3f s: %.1f sessions/s, mean session %.3f ms\n", sessions,
                delivered, ownSeconds, sessions / ownSeconds, sessionMsSum / qMax(1, sessions));
    std::printf("brevilo: peak memory while sending (VmHWM) %lld kB\n", static_cast<long long>(peakKb));
    std::printf("smtplib: %d sessions in %.3f s: %.1f sessions/s, mean session %.3f ms\n", kMessages, pySeconds,
                kMessages / pySeconds, pySeconds * 1000 / kMessages);
    std::printf("ratio brevilo/smtplib (sessions per second): %.2f (goal: at least 1.00)\n",
                (sessions / ownSeconds) / (kMessages / pySeconds));
    return delivered == kMessages ? 0 : 1;
}
