// Server replies cut into arbitrary chunks, with time-outs, peer closes, handshakes and failed
// certificates in between, against the SMTP session: plain, STARTTLS without a login, STARTTLS
// with AUTH and implicit TLS with AUTH (the first byte picks), so EHLO capability lines,
// the 220 to STARTTLS and the 334 challenges of AUTH LOGIN are all reached. Checks that the
// session ends with exactly one outcome, that the state stays one of the dialogue's steps, and
// that no session starts by itself once it has ended.
#include "FuzzCheck.h"
#include "FakeTcpSocket.h"
#include "MailRig.h"

#include <array>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    MailRig<testsupport::FakeTcpSocket, testsupport::FakeTimer> rig;
    const uint8_t mode = size > 0 ? data[0] % 4 : 0;
    rig.settings.Security = QString::fromLatin1(std::array{"none", "starttls", "starttls", "tls"}[mode]);
    rig.settings.User = mode >= 2 ? QStringLiteral("anna") : QString();
    // The password is found stored; were it asked for again, the question would be cancelled.
    rig.secrets.entries.insert(mail::Passwords::Key(rig.settings.User, rig.settings.SMTP), QStringLiteral("pw"));
    rig.dialogs.passwordAnswers.enqueue({});
    rig.Queue("s", "testo\n.\nfine");
    rig.dispatcher.Timer1_Timer();
    int linesBefore = 0;
    bool running = true;
    for (size_t pos = 1; pos < size;) {
        const uint8_t control = data[pos++];
        switch (control % 8) {
        case 0:
            if (rig.timer.IsActive())
                rig.timer.Fire();
            break;
        case 1:
            rig.ws.PeerClose();
            break;
        case 2:
            linesBefore += rig.session.SendState() == 0; // with no session to end, the error is listed alone
            rig.ws.Fail(QStringLiteral("Connection reset"));
            break;
        case 3:
            rig.ws.Encrypt();
            break;
        case 4:
            rig.dialogs.trustAnswers.clear(); // the certificate question answers as the input says
            rig.dialogs.trustAnswers.enqueue(control & 8);
            rig.ws.CertificateFails(QStringLiteral("self-signed"), QStringLiteral("AB:CD"));
            break;
        default: {
            const size_t n = std::min<size_t>(control / 8 + 1, size - pos);
            rig.ws.Reply(QByteArray(reinterpret_cast<const char*>(data + pos), static_cast<qsizetype>(n)));
            pos += n;
        }
        }
        if (!mail::SmtpDialogue::Valid(rig.session.SendState()))
            Fail("state outside the dialogue");
        // A running session has its status line; an ended one has its OK line, or an ERR line
        // after its status line.
        const int added = rig.lstLog.LineCount() - linesBefore;
        if (running && rig.session.SendState() == 0) {
            if (added != 2 && !(added == 1 && rig.lstLog.Line(rig.lstLog.LineCount() - 1).startsWith(QStringLiteral("OK - "))))
                Fail("a session must end with exactly one outcome");
            running = false;
        } else if (running ? added != 1 : rig.session.SendState() != 0) {
            Fail(running ? "a line changed while the session still runs" : "a session started by itself");
        }
    }
    return 0;
}
