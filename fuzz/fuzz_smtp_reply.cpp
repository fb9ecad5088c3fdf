// Server replies cut into arbitrary chunks, with time-outs, peer closes, handshakes and failed
// certificates in between, against the SMTP session: plain, STARTTLS without a login, STARTTLS
// with AUTH and implicit TLS with AUTH (the first byte picks), so EHLO capability lines,
// the 220 to STARTTLS and the 334 challenges of AUTH LOGIN are all reached. Checks that the
// session ends with exactly one outcome, that the state stays one of the dialogue's steps, and
// that no session starts by itself once it has ended.
#include "FuzzCheck.h"
#include "settings/modMain.h"
#include "mail/Outbox.h"
#include "mail/Passwords.h"
#include "mail/SendLog.h"
#include "mail/SmtpSession.h"
#include "FakeTcpSocket.h"
#include "Fakes.h"

#include <QTemporaryDir>

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir logDir;

    settings::ModMain settings;
    settings.SMTP = QStringLiteral("mail.invalid");
    const uint8_t mode = size > 0 ? data[0] % 4 : 0;
    settings.Security = QString::fromLatin1(std::array{"none", "starttls", "starttls", "tls"}[mode]);
    settings.User = mode >= 2 ? QStringLiteral("anna") : QString();
    mail::MemoryStatusList lstLog;
    mail::Outbox outbox(lstLog);
    testsupport::FakeClock clock;
    mail::SendLog sendLog(logDir.path(), clock);
    testsupport::FakeTcpSocket socket;
    testsupport::FakeTimer timer;
    testsupport::FakeSecretStore store;
    testsupport::FakeDialogs dialogs;
    mail::Passwords passwords(store, dialogs);
    mail::SmtpSession session(socket, timer, settings, outbox, sendLog, {}, passwords, dialogs);

    auto record = std::make_shared<mail::CMessaggio>();
    record->mailTo = QStringLiteral("to@example.org");
    record->mailFrom = QStringLiteral("me@example.org");
    record->mailText = QStringLiteral("testo\n.\nfine");
    // The password is found stored; were it asked for again, the question would be cancelled.
    store.entries.insert(mail::Passwords::Key(settings.User, settings.SMTP), QStringLiteral("pw"));
    dialogs.passwordAnswers.enqueue({});
    outbox.Enqueue(record, mail::kComposerSeparator);
    outbox.mailQueue().Remove(0);
    outbox.SetInFlight(record);
    session.StartSending(record);
    int linesBefore = 0;
    bool running = true;
    for (size_t pos = 1; pos < size;) {
        const uint8_t control = data[pos++];
        switch (control % 8) {
        case 0:
            if (timer.IsActive())
                timer.Fire();
            break;
        case 1:
            socket.PeerClose();
            break;
        case 2:
            linesBefore += session.SendState() == 0; // with no session to end, the error is listed alone
            socket.Fail(QStringLiteral("Connection reset"));
            break;
        case 3:
            socket.Encrypt();
            break;
        case 4:
            dialogs.trustAnswers.clear(); // the certificate question answers as the input says
            dialogs.trustAnswers.enqueue(control & 8);
            socket.CertificateFails(QStringLiteral("self-signed"), QStringLiteral("AB:CD"));
            break;
        default: {
            const size_t n = std::min<size_t>(control / 8 + 1, size - pos);
            socket.Reply(QByteArray(reinterpret_cast<const char*>(data + pos), static_cast<qsizetype>(n)));
            pos += n;
        }
        }
        if (!mail::SmtpDialogue::Valid(session.SendState()))
            Fail("state outside the dialogue");
        // A running session has its status line; an ended one has its OK line, or an ERR line
        // after its status line.
        const int added = lstLog.LineCount() - linesBefore;
        if (running && session.SendState() == 0) {
            if (added != 2 && !(added == 1 && lstLog.Line(lstLog.LineCount() - 1).startsWith(QStringLiteral("OK - "))))
                Fail("a session must end with exactly one outcome");
            running = false;
        } else if (running ? added != 1 : session.SendState() != 0) {
            Fail(running ? "a line changed while the session still runs" : "a session started by itself");
        }
    }
    return 0;
}
