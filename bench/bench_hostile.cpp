// Hostile peers on 127.0.0.1 against the real SMTP session (QtTcpSocket) and HTTP client
// (QtHttpClient), then the main window's handlers on large and odd input. Prints one table per
// part; exits non-zero when a scenario ends with the wrong outcome or does not end.
//
// Time-outs are short to keep the run brief: 3 s for each SMTP reply and for a whole HTTP
// request (the program's own are 2 minutes and 30 s), so the one-byte-a-second server is cut
// after 3 s instead of 30.
#include "FakeHttpClient.h"
#include "Fakes.h"
#include "HostilePeers.h"
#include "settings/modMain.h"
#include "app/frmMain.h"
#include "mail/Outbox.h"
#include "mail/SendLog.h"
#include "mail/SmtpSession.h"
#include "news/NewsFetcher.h"
#include "platform/QtHttpClient.h"
#include "platform/QtTcpSocket.h"

#include <QApplication>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>

using namespace testsupport;

namespace {

// Writes `total` bytes of `fill` as the client drains them, so the peer never holds more than
// a few chunks in memory itself; then runs `done`.
void Stream(QTcpSocket& socket, qint64 total, char fill, std::function<void()> done = {})
{
    auto left = std::make_shared<qint64>(total);
    auto more = [&socket, left, fill, done] {
        while (*left > 0 && socket.bytesToWrite() < 64 * 1024) {
            const qint64 n = qMin<qint64>(*left, 16 * 1024);
            socket.write(QByteArray(n, fill));
            *left -= n;
        }
        if (*left == 0) {
            *left = -1;
            if (done)
                done();
        }
    };
    QObject::connect(&socket, &QTcpSocket::bytesWritten, &socket, more);
    more();
}

// Resident and peak memory of this process in KiB (VmRSS, VmHWM); ResetPeak makes the
// peak start again from the current size where the kernel allows it.
struct Memory {
    static qint64 Field(const char* name)
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(name))
                return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLongLong();
        return -1;
    }
    static qint64 RssKb() { return Field("VmRSS:"); }
    static qint64 PeakKb() { return Field("VmHWM:"); }
    static bool ResetPeak()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
    }
};

// A well-behaved SMTP dialogue: greeting on connect, 250 to each command, 354 to DATA, 250 to
// the final dot, 221 to QUIT and close. `afterQuit` is sent after the 221, and the peer then
// keeps the connection open. Each message's content (DATA to the dot) lands in `messages`.
struct SmtpScript {
    QByteArray greeting = "220 hostile.test ready\r\n";
    QByteArray afterQuit;
    QList<QByteArray> messages;

    ScriptedPeer::Hook OnConnect()
    {
        return [this](QTcpSocket& s, QByteArray&) { s.write(greeting); };
    }
    ScriptedPeer::Hook OnData()
    {
        return [this](QTcpSocket& s, QByteArray& buffer) {
            for (;;) {
                const bool inData = s.property("inData").toBool();
                if (inData) {
                    const qsizetype end = buffer.startsWith(".\r\n") ? 0 : buffer.indexOf("\r\n.\r\n");
                    if (end < 0)
                        return;
                    messages.append(end == 0 ? QByteArray() : buffer.left(end + 2));
                    buffer.remove(0, end == 0 ? 3 : end + 5);
                    s.setProperty("inData", false);
                    s.write("250 queued\r\n");
                    continue;
                }
                const qsizetype lf = buffer.indexOf("\r\n");
                if (lf < 0)
                    return;
                const QByteArray command = buffer.left(lf).toUpper();
                buffer.remove(0, lf + 2);
                if (command == "DATA") {
                    s.setProperty("inData", true);
                    s.write("354 go on\r\n");
                } else if (command == "QUIT") {
                    s.write("221 bye\r\n" + afterQuit);
                    if (afterQuit.isEmpty())
                        s.disconnectFromHost();
                    return;
                } else {
                    s.write("250 ok\r\n");
                }
            }
        };
    }
};

constexpr int kShortTimeoutMs = 3000;
constexpr int kScenarioLimitMs = 15000;
int g_failures = 0;

// Runs the event loop until done() or the limit; false when the limit came first.
bool WaitFor(const std::function<bool()>& done, int limitMs = kScenarioLimitMs)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 50);
    }
    return true;
}

void PrintRow(const QString& scenario, const QString& outcome, qint64 ms, qint64 peakKb, qint64 growthKb,
              const QString& next, bool pass)
{
    if (!pass)
        ++g_failures;
    std::printf("%-34s | %-62s | %6lld | %8lld | %7lld | %-4s | %s\n", qPrintable(scenario),
                qPrintable(outcome.left(62)), ms, peakKb, growthKb, qPrintable(next), pass ? "ok" : "WRONG");
    std::fflush(stdout);
}

QString OneLine(QString text)
{
    return text.replace(QLatin1String("\r\n"), QLatin1String("\\r\\n")).replace(QLatin1Char('\n'), QLatin1String("\\n"));
}

// ---- SMTP ----

struct SmtpRig {
    QTemporaryDir dir;
    FakeClock clock;
    platform::QtTcpSocket ws;
    platform::QtTimer replyTimer;
    settings::ModMain settings;
    mail::MemoryStatusList lstLog;
    mail::Outbox outbox{lstLog};
    mail::SendLog sendLog{dir.path(), clock};
    mail::SmtpSession session{ws, replyTimer, settings, outbox, sendLog, {kShortTimeoutMs, kShortTimeoutMs}};

    SmtpRig() { settings.From = QStringLiteral("me@example.org"); }

    // Sends one message to the peer; the outcome line, or empty when the session did not end.
    QString Send(const ScriptedPeer& peer)
    {
        settings.SMTP = peer.HostPort();
        lstLog.Clear();
        auto record = std::make_shared<mail::CMessaggio>();
        record->mailTo = QStringLiteral("you@example.org");
        record->mailToNick = QStringLiteral("You");
        record->mailFrom = settings.From;
        record->mailSubject = QStringLiteral("Ciao");
        record->mailText = QStringLiteral("a domani");
        outbox.Enqueue(record, mail::kComposerSeparator);
        outbox.mailQueue().Remove(0);
        session.StartSending(record);
        if (!WaitFor([this] { return session.SendState() == 0; }))
            return {};
        for (const QString& line : lstLog.Lines())
            if (!line.startsWith(QLatin1String("QUEUED - ")) && !line.startsWith(QLatin1String("ERR - You ")))
                return line;
        return QStringLiteral("(no outcome line)");
    }
};

void SmtpScenario(SmtpRig& rig, const QString& name, ScriptedPeer::Hook onConnect, ScriptedPeer::Hook onData,
                  const QString& expected)
{
    ScriptedPeer peer(std::move(onConnect), std::move(onData));
    Memory::ResetPeak();
    const qint64 rssBefore = Memory::RssKb();
    QElapsedTimer clock;
    clock.start();
    const QString outcome = rig.Send(peer);
    const qint64 ms = clock.elapsed();
    const qint64 peak = Memory::PeakKb();

    SmtpScript good;
    ScriptedPeer next(good.OnConnect(), good.OnData());
    const bool nextSent = rig.Send(next).startsWith(QLatin1String("OK - ")) && good.messages.size() == 1;
    const bool pass = !outcome.isEmpty() && outcome.startsWith(expected) && nextSent;
    PrintRow(name, outcome.isEmpty() ? QStringLiteral("(did not end)") : OneLine(outcome), ms, peak,
             peak - rssBefore, nextSent ? QStringLiteral("yes") : QStringLiteral("NO"), pass);
}

void RunSmtp()
{
    std::printf("\nSMTP session (QtTcpSocket) against hostile peers; reply time-out %d ms\n", kShortTimeoutMs);
    std::printf("%-34s | %-62s | %6s | %8s | %7s | %-4s |\n", "scenario", "status line", "ms", "peak KiB",
                "+KiB", "next");
    SmtpRig rig;
    const auto none = ScriptedPeer::Hook();

    SmtpScenario(rig, "1 MB reply without a line end",
                 [](QTcpSocket& s, QByteArray&) { Stream(s, 1024 * 1024, 'x'); }, none,
                 QStringLiteral("ERR - Il server ha mandato una risposta più lunga di 65536 byte"));
    SmtpScenario(rig, "junk before the greeting",
                 [](QTcpSocket& s, QByteArray&) { s.write("* not an SMTP server\r\n220 late greeting\r\n"); }, none,
                 QStringLiteral("* not an SMTP server"));
    {
        SmtpScript early;
        early.greeting = "220 ready\r\n250 nobody asked\r\n";
        SmtpScenario(rig, "unasked reply with the greeting", early.OnConnect(), early.OnData(),
                     QStringLiteral("ERR - Il server ha risposto prima della domanda: 250 nobody asked"));
    }
    {
        SmtpScript chatty;
        chatty.afterQuit = "250 more\r\n" + QByteArray(256 * 1024, 'y');
        SmtpScenario(rig, "data after QUIT", chatty.OnConnect(), chatty.OnData(), QStringLiteral("OK - You "));
    }
    SmtpScenario(rig, "non-numeric reply code",
                 [](QTcpSocket& s, QByteArray&) { s.write("2x0 ready\r\n"); }, none, QStringLiteral("2x0 ready"));
    SmtpScenario(rig, "greeting, then silence", [](QTcpSocket& s, QByteArray&) { s.write("220 hi\r\n"); }, none,
                 QStringLiteral("ERR - Nessuna risposta dal server entro 3 secondi"));
}

// ---- HTTP ----

void HttpScenario(const QString& name, const std::function<void(QTcpSocket&)>& respond, bool expectOk,
                  const QString& expectedText)
{
    platform::QtHttpClient client(kShortTimeoutMs);
    int state = 0;
    QObject::connect(&client, &platform::IHttpClient::stateChanged, [&state](int s) { state = s; });
    ScriptedPeer peer({}, AnswerHttp(respond));
    Memory::ResetPeak();
    const qint64 rssBefore = Memory::RssKb();
    QElapsedTimer clock;
    clock.start();
    client.StartRequest(peer.HostPort(), QStringLiteral("page.html"));
    const bool ended = WaitFor([&client] { return !client.IsExecuting(); });
    const qint64 ms = clock.elapsed();
    const bool ok = state == platform::QtHttpClient::kStateResponseCompleted;
    const QString body = client.ReadBody(news::kMaxPageLength);
    const qint64 peak = Memory::PeakKb();

    ScriptedPeer good({}, AnswerHttp([](QTcpSocket& s) {
        s.write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<html><body>next page</body></html>");
        s.disconnectFromHost();
    }));
    client.StartRequest(good.HostPort(), QString());
    const bool nextFetched = WaitFor([&client] { return !client.IsExecuting(); })
        && client.ReadBody(news::kMaxPageLength).contains(QLatin1String("next page"));

    QString outcome = !ended ? QStringLiteral("(did not end)")
        : ok ? QStringLiteral("page, %1 chars read").arg(body.size())
             : QStringLiteral("failed request, nothing read");
    if (ok && !expectedText.isEmpty())
        outcome += QStringLiteral(": \"%1\"").arg(body.mid(body.indexOf(QLatin1String("Citt")), 8));
    const bool pass = ended && ok == expectOk && (expectedText.isEmpty() || body.contains(expectedText)) && nextFetched
        && (!ok || body.size() <= news::kMaxPageLength);
    PrintRow(name, outcome, ms, peak, peak - rssBefore, nextFetched ? QStringLiteral("yes") : QStringLiteral("NO"),
             pass);
}

void RunHttp()
{
    std::printf("\nHTTP client (QtHttpClient) against hostile servers; request time-out %d ms (program: %d ms)\n",
                kShortTimeoutMs, platform::QtHttpClient::kDefaultTimeoutMs);
    std::printf("%-34s | %-62s | %6s | %8s | %7s | %-4s |\n", "scenario", "news result", "ms", "peak KiB", "+KiB",
                "next");
    HttpScenario("one byte a second", [](QTcpSocket& s) {
        Trickle(s, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<html><body>slow</body></html>");
    }, false, {});
    HttpScenario("10 MB body", [](QTcpSocket& s) {
        s.write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 10485760\r\n\r\n");
        Stream(s, 10 * 1024 * 1024, 'x', [&s] { s.disconnectFromHost(); });
    }, true, {});
    HttpScenario("closes mid-body", [](QTcpSocket& s) {
        s.write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Length: 50000\r\n\r\n<html><body>");
        Stream(s, 20000, 'x', [&s] { s.disconnectFromHost(); });
    }, false, {});
    HttpScenario("says UTF-8, sends ISO-8859-1", [](QTcpSocket& s) {
        s.write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n<html><body>Citt\xe0</body></html>");
        s.disconnectFromHost();
    }, true, QStringLiteral("Citt\uFFFD"));
    HttpScenario("says ISO-8859-1, sends UTF-8", [](QTcpSocket& s) {
        s.write("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=ISO-8859-1\r\n\r\n<html><body>Citt\xc3\xa0</body></html>");
        s.disconnectFromHost();
    }, true, QStringLiteral("Citt\u00c3\u00a0"));
}

// ---- Main window handlers on large input ----

template <typename F>
double WorstMs(int repeats, F&& step)
{
    double worst = 0;
    for (int i = 0; i < repeats; ++i) {
        QElapsedTimer clock;
        clock.start();
        step();
        worst = qMax(worst, clock.nsecsElapsed() / 1e6);
    }
    return worst;
}

void RunWindow()
{
    std::printf("\nMain window handlers (offscreen), worst time of one handler run\n");
    std::printf("%-52s | %9s\n", "handler and input", "worst ms");
    QTemporaryDir dir;
    QByteArray book;
    for (int i = 0; i < 30000; ++i) {
        book += "nick" + QByteArray::number((i * 7919) % 30000) + ",a" + QByteArray::number(i) + "@example.org";
        if (i % 500 == 0)
            book += "\xe0\x81\x00\xff"; // a line of stray bytes every so often
        if (i < 29999)
            book += "\r\n";
    }
    QFile file(dir.filePath(QStringLiteral("rubrica.txt")));
    file.open(QIODevice::WriteOnly);
    file.write(book);
    file.close();

    FakeClock clock;
    MemorySettingsStore store;
    FakeDialogs dialogs;
    FakeDesktop desktop;
    FakeHttpClient inet1;
    FakeTimer timer1, timer2, replyTimer;
    app::frmMainDeps deps;
    deps.clock = &clock;
    deps.store = &store;
    deps.dialogs = &dialogs;
    deps.desktop = &desktop;
    deps.inet1 = &inet1;
    deps.timer1 = &timer1;
    deps.timer2 = &timer2;
    deps.replyTimer = &replyTimer;
    deps.dataDirectory = dir.path();

    std::unique_ptr<app::frmMain> window;
    const auto print = [](const char* what, double ms) {
        std::printf("%-52s | %9.1f\n", what, ms);
        std::fflush(stdout);
    };
    // Each step includes the event processing it causes (the list lays its rows out later).
    const auto settle = [] { QCoreApplication::processEvents(); };
    print("window load with a 30,000-line rubrica.txt, shown", WorstMs(1, [&] {
        window = std::make_unique<app::frmMain>(deps);
        window->show();
        settle();
    }));
    if (!QTest::qWaitForWindowExposed(window.get()))
        std::printf("(the window was not exposed: paint times are of an unexposed window)\n");
    auto* lstRubrica = window->findChild<QListWidget*>(QStringLiteral("lstRubrica"));
    print("address book reload (RefreshView), 30,000 lines", WorstMs(3, [&] {
        window->RefreshView();
        settle();
    }));
    print("Sort of 30,000 entries", WorstMs(3, [&] {
        window->cmdSort_Click();
        settle();
    }));
    print("selecting an entry of 30,000", WorstMs(20, [&] {
        lstRubrica->setCurrentRow(QRandomGenerator::global()->bounded(lstRubrica->count()));
        settle();
    }));

    auto* txtTesto = window->findChild<QPlainTextEdit*>(QStringLiteral("txtTesto"));
    auto* txtSubject = window->findChild<QLineEdit*>(QStringLiteral("txtSubject"));
    txtTesto->setPlainText(QString(10000, QLatin1Char('a')));
    txtTesto->setFocus();
    txtTesto->moveCursor(QTextCursor::End);
    print("typing into txtTesto holding 10,000 chars", WorstMs(200, [&] {
        QTest::keyClick(txtTesto, Qt::Key_B);
        QCoreApplication::processEvents();
    }));
    txtSubject->setText(QString::fromUcs4(U"\U0001F600").repeated(5000));
    txtSubject->setFocus();
    txtSubject->end(false);
    print("typing into txtSubject, 5,000 emoji (10,000 units)", WorstMs(200, [&] {
        QTest::keyClick(txtSubject, Qt::Key_B);
        QCoreApplication::processEvents();
    }));
    print("paint of the whole window", WorstMs(10, [&] { window->repaint(); }));
    print("close: settings and 30,000 entries saved", WorstMs(1, [&] { window->close(); }));
    window.reset();
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QElapsedTimer total;
    total.start();
    if (!Memory::ResetPeak())
        std::printf("(the peak cannot be reset here: peak KiB is the process's high-water mark so far)\n");
    RunSmtp();
    RunHttp();
    RunWindow();
    std::printf("\nwhole run: %.1f s; %d scenario(s) with a wrong outcome\n", total.elapsed() / 1000.0, g_failures);
    return g_failures == 0 ? 0 : 1;
}
