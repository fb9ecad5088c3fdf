// Sends 500 messages one session after another to a local aiosmtpd through the real
// dispatcher and session, then lets Python's smtplib send 500 to the same server, and
// prints both rates, their ratio and the program's peak memory: first plain SMTP as it
// always was, then submission over STARTTLS with AUTH (smtplib: starttls, login), then the same
// with AUTH OAUTHBEARER and a 4 KB access token already in memory, beside the password row.
#include "Fakes.h"
#include "LocalSmtpServer.h"
#include "OAuthServer.h"
#include "SubmissionServer.h"
#include "mail/Dispatcher.h"
#include "mail/Passwords.h"
#include "platform/QtTcpSocket.h"
#include "settings/modMain.h"

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

struct Figures {
    int sessions = 0;
    int delivered = 0;
    double ownSeconds = 0;
    double sessionMsSum = 0;
    double pySeconds = 0;
    bool ok = true;
};

// kMessages through the program with these settings, and through smtplib with these arguments.
// Without pyExtra's port (0) smtplib is not run.
Figures Measure(QCoreApplication& app, const settings::ModMain& configured, quint16 port, const QStringList& pyExtra,
                platform::ISecretStore& secrets, ITokenSource* tokens = nullptr)
{
    Figures f;
    QTemporaryDir data;
    testsupport::FakeClock clock;
    testsupport::FakeDialogs dialogs;
    platform::QtTcpSocket ws;
    platform::QtTimer replyTimer;
    settings::ModMain settings = configured;
    MemoryStatusList lstLog;
    Outbox outbox(lstLog);
    SendLog sendLog(data.path(), clock);
    Passwords passwords(secrets, dialogs);
    SmtpSession session(ws, replyTimer, settings, outbox, sendLog, SmtpSession::Timeouts{}, passwords, dialogs);
    Dispatcher dispatcher(outbox, session, settings, clock);
    session.SetTokenSource(tokens);

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
        f.sessionMsSum += one.nsecsElapsed() / 1e6;
        ++f.sessions;
        // The next tick comes from the event loop, never from inside the ending session.
        QMetaObject::invokeMethod(&app, tick, Qt::QueuedConnection);
    });

    for (int round = 0; round < kRounds; ++round) {
        roundLeft = kMessages / kRounds;
        QElapsedTimer wall; // the gaps between sessions count too
        wall.start();
        QMetaObject::invokeMethod(&app, tick, Qt::QueuedConnection);
        app.exec();
        f.ownSeconds += wall.nsecsElapsed() / 1e9;
        if (port == 0)
            continue;

        QProcess python;
        python.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        python.start(testsupport::ExternalServer::Python(),
                     QStringList{QStringLiteral(BREVILO_SOURCE_DIR "/bench/smtplib_sender.py"), QStringLiteral("127.0.0.1"),
                                 QString::number(port), QString::number(kMessages / kRounds)}
                         + pyExtra);
        if (!python.waitForFinished(600000) || python.exitCode() != 0) {
            std::fprintf(stderr, "smtplib comparator failed\n");
            f.ok = false;
            return f;
        }
        const QByteArray out = python.readAllStandardOutput().trimmed();
        f.pySeconds += out.mid(out.indexOf("SMTPLIB ") + 8).toDouble();
    }
    for (int i = 0; i < lstLog.LineCount(); ++i)
        f.delivered += lstLog.Line(i).startsWith(QLatin1String("OK - ")) ? 1 : 0;
    if (f.delivered != kMessages)
        std::fprintf(stderr, "%s\n", qPrintable(lstLog.Line(lstLog.LineCount() - 1)));
    return f;
}

void Print(const char* ours, const char* theirs, const Figures& f)
{
    std::printf("%s: %d sessions (%d delivered) in %.3f s: %.1f sessions/s, mean session %.3f ms\n", ours, f.sessions,
                f.delivered, f.ownSeconds, f.sessions / f.ownSeconds, f.sessionMsSum / qMax(1, f.sessions));
    std::printf("brevilo: peak memory while sending (VmHWM) %lld kB\n", static_cast<long long>(PeakMemoryKb()));
    std::printf("%s: %d sessions in %.3f s: %.1f sessions/s, mean session %.3f ms\n", theirs, kMessages, f.pySeconds,
                kMessages / f.pySeconds, f.pySeconds * 1000 / kMessages);
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
    testsupport::FakeSecretStore secrets;
    settings::ModMain settings;
    settings.SMTP = server.Setting();
    settings.From = QStringLiteral("me@example.org");
    settings.TempoAttesa = 30;
    const Figures plain = Measure(app, settings, server.Port(), {}, secrets);
    Print("brevilo", "smtplib", plain);
    std::printf("ratio brevilo/smtplib (sessions per second): %.2f (goal: at least 1.00)\n",
                (plain.sessions / plain.ownSeconds) / (kMessages / plain.pySeconds));

    testsupport::SubmissionServer submission;
    if (!submission.Start()) {
        std::fprintf(stderr, "could not start the local submission server:\n%s\n", qPrintable(submission.Output()));
        return 1;
    }
    settings.SMTP = submission.Setting(QStringLiteral("starttls"));
    settings.Security = QStringLiteral("starttls");
    settings.User = QString::fromLatin1(testsupport::SubmissionServer::kUser);
    settings.CaFile = submission.CaFile();
    secrets.entries.insert(Passwords::Key(settings.User, QStringLiteral("127.0.0.1")),
                           QString::fromLatin1(testsupport::SubmissionServer::kPassword));
    const Figures tls = Measure(app, settings, submission.Port(QStringLiteral("starttls")),
                                {settings.CaFile, settings.User, QString::fromLatin1(testsupport::SubmissionServer::kPassword)},
                                secrets);
    Print("brevilo starttls+auth", "smtplib starttls+login", tls);
    std::printf("ratio starttls+auth brevilo/smtplib (sessions per second): %.2f (goal: at least 1.00)\n",
                (tls.sessions / tls.ownSeconds) / (kMessages / tls.pySeconds));

    // The token is obtained once (the fake browser follows the provider's redirect); every
    // session then takes it from memory, as a user's sends do for an hour.
    testsupport::OAuthServer provider;
    if (!provider.Start()) {
        std::fprintf(stderr, "could not start the local OAuth provider:\n%s\n", qPrintable(provider.Output()));
        return 1;
    }
    testsupport::FakeBrowser browser;
    testsupport::FakeTimer signInTimer;
    testsupport::FakeClock tokenClock;
    testsupport::FakeSecretStore tokenStore;
    OAuthTokens tokens(tokenStore, browser, signInTimer, tokenClock);
    settings.SMTP = provider.Setting(QStringLiteral("both"));
    settings.User = QString::fromLatin1(testsupport::OAuthServer::kUser);
    settings.CaFile = provider.CaFile();
    settings.Auth = QStringLiteral("oauth2");
    settings.OAuthProvider = QStringLiteral("custom");
    settings.OAuthClientId = QString::fromLatin1(testsupport::OAuthServer::kClientId);
    settings.OAuthAuthorizeUrl = provider.Url(QStringLiteral("authorize"));
    settings.OAuthTokenUrl = provider.Url(QStringLiteral("token"));
    settings.OAuthScope = QStringLiteral("smtp");
    QString why;
    const std::optional<OAuthConfig> config = OAuthConfig::Resolve(settings, QStringLiteral("127.0.0.1"), &why);
    bool signedIn = false;
    tokens.Obtain(*config, ITokenSource::Mode::Any, [&](ITokenSource::Result result) {
        signedIn = result.accessToken.has_value();
        app.quit();
    });
    app.exec();
    if (!signedIn) {
        std::fprintf(stderr, "sign-in with the local OAuth provider failed\n");
        return 1;
    }
    const Figures bearer = Measure(app, settings, 0, {}, secrets, &tokens);
    std::printf("brevilo starttls+oauthbearer: %d sessions (%d delivered) in %.3f s: %.1f sessions/s, mean session %.3f ms\n",
                bearer.sessions, bearer.delivered, bearer.ownSeconds, bearer.sessions / bearer.ownSeconds,
                bearer.sessionMsSum / qMax(1, bearer.sessions));
    std::printf("ratio oauthbearer/password (sessions per second): %.2f (goal: at least 0.95); sign-ins %d\n",
                (bearer.sessions / bearer.ownSeconds) / (tls.sessions / tls.ownSeconds), int(browser.opened.size()));
    return plain.ok && tls.ok && plain.delivered == kMessages && tls.delivered == kMessages
            && bearer.delivered == kMessages
        ? 0
        : 1;
}
