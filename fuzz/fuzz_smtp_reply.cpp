// Server replies cut into arbitrary chunks, with time-outs, peer closes, handshakes and failed
// certificates in between, against the SMTP session: plain, STARTTLS without a login, STARTTLS
// with AUTH and implicit TLS with AUTH (the first byte picks), so EHLO capability lines,
// the 220 to STARTTLS and the 334 challenges of AUTH LOGIN are all reached. Checks that every
// session ends with exactly one outcome, that the state stays one of the dialogue's steps, and
// that nothing is added while idle.
#include "settings/modMain.h"
#include "mail/Outbox.h"
#include "mail/Passwords.h"
#include "mail/SendLog.h"
#include "mail/SmtpSession.h"

#include <QCoreApplication>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

namespace {

class Socket final : public platform::ITcpSocket {
public:
    void ConnectToHost(const QString&, quint16, platform::Encryption, const QString&) override {}
    QString LocalAddressLiteral() const override { return QStringLiteral("[127.0.0.1]"); }
    void StartClientEncryption() override {}
    void ContinueDespiteSslErrors() override {}
    void Write(const QByteArray& bytes) override { written += bytes.size(); }
    QByteArray ReadAll() override
    {
        QByteArray out;
        out.swap(incoming);
        return out;
    }
    void Close() override {}
    void Arrive(const QByteArray& bytes)
    {
        incoming += bytes;
        Q_EMIT readyRead();
    }
    void PeerClose() { Q_EMIT disconnected(); }
    void Error() { Q_EMIT errorOccurred(QStringLiteral("Connection reset")); }
    void Handshake() { Q_EMIT encrypted(); }
    void BadCertificate() { Q_EMIT sslErrors(QStringLiteral("self-signed"), QStringLiteral("AB:CD")); }
    QByteArray incoming;
    qsizetype written = 0;
};

class Timer final : public platform::ITimer {
public:
    void Start(int, bool) override { active = true; }
    void Stop() override { active = false; }
    bool IsActive() const override { return active; }
    void Fire()
    {
        if (active) {
            active = false;
            Q_EMIT timeout();
        }
    }
    bool active = false;
};

// The password is always in the store; the certificate question answers as the input says.
class Store final : public platform::ISecretStore {
public:
    void Read(const QString&, std::function<void(Found)> done) override { done({true, true, QStringLiteral("pw")}); }
    void Write(const QString&, const QString&, std::function<void(bool)> done) override { done(true); }
    void Remove(const QString&, std::function<void(bool)> done) override { done(true); }
};

class Dialogs final : public platform::IDialogs {
public:
    void ShowMessage(const QString&, Icon) override {}
    bool AskYesNo(const QString&) override { return false; }
    Answer AskYesNoOr(const QString&, const QString&) override { return Answer::No; }
    void AskPassword(const QString&, const QString&, bool, std::function<void(PasswordAnswer)> done) override
    {
        done({});
    }
    void AskTrust(const QString&, std::function<void(bool)> done) override { done(trust); }
    bool trust = false;
};

class Clock final : public platform::IClock {
public:
    double Now() const override { return 46000.5; }
};

[[noreturn]] void Fail(const char* what)
{
    fprintf(stderr, "invariant broken: %s\n", what);
    abort();
}


} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static int argc = 1;
    static char name[] = "fuzz";
    static char* argv[] = {name, nullptr};
    static QCoreApplication app(argc, argv);
    static QTemporaryDir logDir;

    settings::ModMain settings;
    settings.SMTP = QStringLiteral("mail.invalid");
    const uint8_t mode = size > 0 ? data[0] % 4 : 0;
    settings.Security = QStringList{QStringLiteral("none"), QStringLiteral("starttls"), QStringLiteral("starttls"),
                                    QStringLiteral("tls")}[mode];
    settings.User = mode >= 2 ? QStringLiteral("anna") : QString();
    mail::MemoryStatusList lstLog;
    mail::Outbox outbox(lstLog);
    Clock clock;
    mail::SendLog sendLog(logDir.path(), clock);
    Socket socket;
    Timer timer;
    Store store;
    Dialogs dialogs;
    mail::Passwords passwords(store, dialogs);
    mail::SmtpSession session(socket, timer, settings, outbox, sendLog, {}, passwords, dialogs);

    int linesBefore = 0;
    bool running = false;
    auto start = [&] {
        auto record = std::make_shared<mail::CMessaggio>();
        record->mailTo = QStringLiteral("to@example.org");
        record->mailFrom = QStringLiteral("me@example.org");
        record->mailText = QStringLiteral("testo\n.\nfine");
        linesBefore = lstLog.LineCount();
        outbox.Enqueue(record, mail::kComposerSeparator);
        outbox.mailQueue().Remove(0);
        outbox.SetInFlight(record);
        session.StartSending(record);
        running = true;
    };
    auto checkEnded = [&] {
        const int added = lstLog.LineCount() - linesBefore;
        if (added == 1) {
            if (!lstLog.Line(lstLog.LineCount() - 1).startsWith(QStringLiteral("OK - ")))
                Fail("one line added but it is no OK line");
        } else if (added != 2) {
            Fail("a session must end with exactly one outcome");
        }
        running = false;
    };

    start();
    size_t pos = 1;
    int sessions = 1;
    while (pos < size) {
        const uint8_t control = data[pos++];
        switch (control % 8) {
        case 0:
            timer.Fire();
            break;
        case 1:
            socket.PeerClose();
            break;
        case 2:
            socket.Error();
            break;
        case 3:
            socket.Handshake();
            break;
        case 4:
            dialogs.trust = control & 8;
            socket.BadCertificate();
            break;
        default: {
            const size_t n = std::min<size_t>(control / 8 + 1, size - pos);
            socket.Arrive(QByteArray(reinterpret_cast<const char*>(data + pos), static_cast<qsizetype>(n)));
            pos += n;
            break;
        }
        }
        if (!mail::SmtpDialogue::Valid(session.SendState()))
            Fail("state outside the dialogue");
        if (running && session.SendState() == 0)
            checkEnded();
        else if (running && lstLog.LineCount() != linesBefore + 1)
            Fail("a line changed while the session still runs");
        else if (!running && session.SendState() != 0)
            Fail("a session started by itself");
        if (!running && sessions < 4) {
            ++sessions;
            start();
        }
    }
    return 0;
}
