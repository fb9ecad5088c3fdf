#include "SmtpSession.h"

#include "Passwords.h"
#include "SmtpAddress.h"
#include "settings/modMain.h"

#include <QPointer>

#include <cctype>

namespace mail {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

QString Duration(int ms)
{
    if (ms % 60000 == 0)
        return ms == 60000 ? QStringLiteral("1 minuto") : QStringLiteral("%1 minuti").arg(ms / 60000);
    if (ms % 1000 == 0)
        return ms == 1000 ? QStringLiteral("1 secondo") : QStringLiteral("%1 secondi").arg(ms / 1000);
    return QStringLiteral("%1 ms").arg(ms);
}

const QString kMayHaveBeenDelivered = QStringLiteral(" (dopo l'invio del messaggio: potrebbe essere stato consegnato)");
// Where the user mends a setting the program cannot use.
const QString kMendSettings = QStringLiteral(" Correggere in File > Configurazione > Server e account e confermare con OK:"
                                             " i messaggi attendono.");
const QString kRetryNow = QStringLiteral(" I messaggi attendono: \"Riprova ora\" sulla riga di un messaggio lo invia di nuovo.");
const QString kSignInAgain = QStringLiteral(" I messaggi attendono: \"Riprova ora\" sulla riga di un messaggio riapre l'accesso"
                                            " nel browser (oppure \"Accedi ora\" in File > Configurazione > Server e"
                                            " account, poi OK).");

} // namespace

SmtpSession::SmtpSession(platform::ITcpSocket& ws, platform::ITimer& replyTimer, settings::ModMain& settings,
                         Outbox& outbox, SendLog& sendLog, Timeouts timeouts, QObject* parent)
    : QObject(parent),
      ws(ws),
      m_replyTimer(replyTimer),
      m_settings(settings),
      m_outbox(outbox),
      m_sendLog(sendLog),
      m_timeouts(timeouts)
{
    connect(&ws, &platform::ITcpSocket::readyRead, this, &SmtpSession::ws_DataArrival);
    connect(&ws, &platform::ITcpSocket::errorOccurred, this, &SmtpSession::ws_Error);
    connect(&ws, &platform::ITcpSocket::disconnected, this, &SmtpSession::ws_Disconnected);
    connect(&ws, &platform::ITcpSocket::encrypted, this, &SmtpSession::ws_Encrypted);
    connect(&ws, &platform::ITcpSocket::sslErrors, this, &SmtpSession::ws_SslErrors);
    connect(&replyTimer, &platform::ITimer::timeout, this, &SmtpSession::ReplyTimer_Timeout);
}

SmtpSession::SmtpSession(platform::ITcpSocket& ws, platform::ITimer& replyTimer, settings::ModMain& settings,
                         Outbox& outbox, SendLog& sendLog, Timeouts timeouts, Passwords& passwords,
                         platform::IDialogs& dialogs, QObject* parent)
    : SmtpSession(ws, replyTimer, settings, outbox, sendLog, timeouts, parent)
{
    m_passwords = &passwords;
    m_dialogs = &dialogs;
}

void SmtpSession::StartSending(const std::shared_ptr<CMessaggio>& record)
{
    // The dispatcher starts sessions only when idle; should one still run, it gets its outcome.
    if (sendState != 0)
        Fail(QStringLiteral("Invio interrotto dal messaggio successivo"), true);

    ++m_session;
    m_tokenRenewed = false;
    m_currentMail = record;
    m_outbox.SetInFlight(record);
    m_reply.clear();

    const std::optional<platform::Encryption> security = ParseSecurity(m_settings.Security);
    if (!security) {
        m_outbox.ReportError(QStringLiteral("Impostazione Security non valida: \"%1\" (none, starttls o tls).")
                                     .arg(m_settings.Security)
                                 + kMendSettings,
                             Outcome::Held);
        return;
    }
    m_security = *security;
    const SmtpAddress server = SmtpAddress::Parse(m_settings.SMTP, DefaultPort(m_security));
    if (!server.valid) {
        m_outbox.ReportError(QStringLiteral("Server SMTP non valido: \"%1\". Correggerlo in File > Configurazione e"
                                            " confermare con OK: i messaggi attendono.")
                                 .arg(m_settings.SMTP),
                             Outcome::Held);
        return;
    }
    m_host = server.host;
    m_port = server.port;
    const QString user = m_settings.User.trimmed();
    if (user.isEmpty()) {
        Connect(QString());
        return;
    }
    if (m_security == platform::Encryption::None) {
        m_outbox.ReportError(QStringLiteral("Una password non viene mai inviata senza TLS: scegliere STARTTLS o TLS"
                                            " implicito, oppure togliere l'utente.")
                                 + kMendSettings,
                             Outcome::Held);
        return;
    }
    if (m_settings.Auth.trimmed().compare(QLatin1String("oauth2"), Qt::CaseInsensitive) == 0) {
        ObtainToken(ITokenSource::Mode::Any);
        return;
    }
    if (!m_passwords) {
        m_outbox.ReportError(QStringLiteral("Nessuna password per %1.").arg(Passwords::Key(user, m_host)) + kRetryNow,
                             Outcome::Held);
        return;
    }
    // The state holds the dispatcher while the store or the user is asked.
    SetSendState(SmtpDialogue::kPassword);
    QPointer<SmtpSession> self(this);
    const quint64 session = m_session;
    m_passwords->Obtain(user, m_host, [self, session, user](std::optional<QString> password) {
        if (!self || self->m_session != session || self->sendState != SmtpDialogue::kPassword)
            return;
        if (!password)
            self->Fail(QStringLiteral("Nessuna password data per %1.").arg(Passwords::Key(user, self->m_host)) + kRetryNow,
                       false, Outcome::Held);
        else
            self->Connect(*password);
    });
}

void SmtpSession::Connect(const QString& password)
{
    m_dialogue.Begin(*m_currentMail, m_security, m_settings.User.trimmed(), password);
    // The state is set before connecting, so an error raised at once belongs to this session.
    SetSendState(m_dialogue.FirstState());
    ArmReplyTimer();
    ws.ConnectToHost(m_host, m_port, m_security, m_settings.CaFile);
}

void SmtpSession::ObtainToken(ITokenSource::Mode mode)
{
    QString why;
    const std::optional<OAuthConfig> config = OAuthConfig::Resolve(m_settings, m_host, &why);
    if (!config) {
        Fail(why + QLatin1Char('.') + kMendSettings, false, Outcome::Held);
        return;
    }
    if (!m_tokens) {
        HoldForSignIn(QStringLiteral("Accesso OAuth non disponibile"));
        return;
    }
    // The state holds the dispatcher while the browser or the provider is asked.
    SetSendState(SmtpDialogue::kPassword);
    QPointer<SmtpSession> self(this);
    const quint64 session = m_session;
    m_tokens->Obtain(*config, mode, [self, session](ITokenSource::Result result) {
        if (!self || self->m_session != session || self->sendState != SmtpDialogue::kPassword)
            return;
        if (result.accessToken)
            self->ConnectWithToken(*result.accessToken);
        else
            self->HoldForSignIn(result.reason, result.retryLater);
    });
}

void SmtpSession::ConnectWithToken(const QString& accessToken)
{
    m_dialogue.BeginWithToken(*m_currentMail, m_security, m_settings.User.trimmed(), accessToken, m_host, m_port);
    SetSendState(m_dialogue.FirstState());
    ArmReplyTimer();
    ws.ConnectToHost(m_host, m_port, m_security, m_settings.CaFile);
}

void SmtpSession::HoldForSignIn(const QString& reason, bool retryLater)
{
    if (retryLater)
        Fail(reason, false, Outcome::Temporary);
    else
        Fail(reason + QLatin1Char('.') + kSignInAgain, false, Outcome::Held);
}

void SmtpSession::SetSendState(qint32 value)
{
    sendState = static_cast<qint16>(value);
    if (value != 0 && m_currentMail)
        Q_EMIT lblDoingChanged(QStringLiteral("[%1] Sending to %2").arg(value).arg(m_currentMail->mailToNick));
    else
        Q_EMIT lblDoingChanged(QString());
}

void SmtpSession::ws_DataArrival()
{
    const QByteArray arrived = ws.ReadAll();
    if (sendState == 0)
        return; // nothing is awaited: a late or unsolicited reply changes nothing
    m_reply += arrived;

    QByteArray reply;
    bool wellFormed = false;
    while (sendState != 0 && TakeCompleteReply(reply, wellFormed)) {
        // Our address, not the machine's name: relays accept it, and it tells recipients nothing.
        if (sendState == SmtpDialogue::kGreeting)
            m_dialogue.SetDomain(ws.LocalAddressLiteral());
        Take(m_dialogue.Answer(sendState, reply, wellFormed), reply);
        // The command just sent cannot have been answered yet: bytes already here were sent
        // out of turn, and taking them as its answer would put the dialogue a step off.
        if (sendState != 0 && !m_reply.isEmpty()) {
            const QByteArray first = m_reply.left(m_reply.indexOf('\n')).left(100).trimmed();
            Fail(QStringLiteral("Il server ha risposto prima della domanda: ") + QString::fromUtf8(first), true);
        }
    }

    if (sendState != 0 && m_reply.size() > kMaxReplyBytes)
        Fail(QStringLiteral("Il server ha mandato una risposta più lunga di %1 byte").arg(kMaxReplyBytes), true);
}

void SmtpSession::Take(const SmtpStep& step, const QByteArray& reply)
{
    switch (step.then) {
    case SmtpStep::Then::Wait:
        if (!step.send.isEmpty())
            ws.Write(step.send);
        SetSendState(step.next);
        // A greeting awaited after an implicit TLS handshake restarts the wait too.
        ArmReplyTimer();
        return;
    case SmtpStep::Then::StartTls:
        // Bytes behind the 220 were sent before the handshake: taken as answers to encrypted
        // commands, they would be commands injected by whoever sits on the line.
        if (!m_reply.isEmpty()) {
            Fail(QStringLiteral("Il server ha mandato altro dopo il suo 220 a STARTTLS: sessione chiusa prima di TLS"), false);
            return;
        }
        SetSendState(step.next);
        ArmReplyTimer();
        ws.StartClientEncryption();
        return;
    case SmtpStep::Then::Delivered: {
        ws.Write(step.send);
        const std::shared_ptr<CMessaggio> delivered = m_currentMail;
        Finish();
        m_outbox.ReportDelivered(*delivered);
        m_sendLog.WriteSendLog(*delivered);
        return;
    }
    case SmtpStep::Then::Refused:
        // "Try again later" (4xx) keeps the record; "no" (5xx) and anything unreadable end it.
        Refuse(QString::fromUtf8(reply), reply.startsWith('4') ? Outcome::Temporary : Outcome::Final);
        return;
    case SmtpStep::Then::PasswordRefused: {
        const QString user = m_settings.User.trimmed();
        if (m_passwords)
            m_passwords->Forget(user, m_host);
        // The login was refused, not the message: it waits for the user, and the next attempt
        // asks for the password again.
        Fail(QStringLiteral("Password rifiutata dal server per %1: %2.")
                     .arg(Passwords::Key(user, m_host), QString::fromUtf8(reply).simplified())
                 + kRetryNow + QStringLiteral(" Verrà chiesta di nuovo la password."),
             true, Outcome::Held);
        return;
    }
    case SmtpStep::Then::TokenRefused:
        if (!m_tokenRenewed && m_tokens) {
            // Perhaps revoked or expired early: one new token, one more connection.
            m_tokenRenewed = true;
            m_replyTimer.Stop();
            m_reply.clear();
            m_dialogue.End();
            SetSendState(SmtpDialogue::kPassword); // before closing: the close is no failure
            ws.Write(QByteArrayLiteral("QUIT") + kCrLf);
            ws.Close();
            ObtainToken(ITokenSource::Mode::Refresh);
            return;
        }
        // A fresh token refused too: the account or its rights, which only the user can mend.
        Fail(QStringLiteral("Token rifiutato dal server per %1: %2. Verificare che l'utente sia l'account con cui si"
                            " accede nel browser e che il fornitore gli consenta l'invio SMTP autenticato.")
                     .arg(Passwords::Key(m_settings.User.trimmed(), m_host), QString::fromUtf8(reply).simplified())
                 + kSignInAgain,
             true, Outcome::Held);
        return;
    case SmtpStep::Then::Failed:
        Fail(step.error, step.quit, step.outcome);
        return;
    }
}

bool SmtpSession::TakeCompleteReply(QByteArray& reply, bool& wellFormed)
{
    qsizetype start = 0;
    for (;;) {
        const qsizetype lf = m_reply.indexOf('\n', start);
        if (lf < 0)
            return false;
        QByteArrayView line(m_reply.constData() + start, lf - start);
        if (line.endsWith('\r'))
            line.chop(1);
        const bool coded = line.size() >= 3 && std::isdigit(static_cast<unsigned char>(line[0]))
            && std::isdigit(static_cast<unsigned char>(line[1])) && std::isdigit(static_cast<unsigned char>(line[2]));
        start = lf + 1;
        if (coded && line.size() > 3 && line[3] == '-')
            continue; // "ddd-": the reply goes on
        // "ddd" or "ddd text" ends the reply; anything else is no SMTP reply and ends it too.
        wellFormed = coded && (line.size() == 3 || line[3] == ' ');
        reply = m_reply.left(start);
        m_reply.remove(0, start);
        return true;
    }
}

void SmtpSession::Refuse(const QString& line, Outcome outcome)
{
    m_outbox.ReportRefusal(line, outcome);
    ws.Write(QByteArrayLiteral("QUIT") + kCrLf);
    Finish();
}

void SmtpSession::Fail(const QString& description, bool sayQuit, Outcome outcome)
{
    const bool afterMessage = sendState == SmtpDialogue::kDot;
    m_outbox.ReportError(afterMessage ? description + kMayHaveBeenDelivered : description, outcome);
    if (sayQuit)
        ws.Write(QByteArrayLiteral("QUIT") + kCrLf);
    Finish();
}

void SmtpSession::Finish()
{
    m_replyTimer.Stop();
    ws.Close();
    m_reply.clear();
    m_dialogue.End();
    SetSendState(0);
}

void SmtpSession::ArmReplyTimer()
{
    m_replyTimer.Start(sendState == SmtpDialogue::kDot ? m_timeouts.finalReplyMs : m_timeouts.replyMs, true);
}

void SmtpSession::ws_Error(const QString& description)
{
    // Listed even with no session running: it has no message to end, but the user should see
    // it. A session's own close drops the socket's later errors, so this is not every close.
    if (sendState == 0) {
        m_outbox.ReportError(description);
        return;
    }
    if (sendState == SmtpDialogue::kPassword)
        return;
    // OpenSSL's words for a plain SMTP greeting where a TLS handshake was awaited: no retry mends
    // a port and a Security that do not match.
    if (sendState == SmtpDialogue::kHandshake && m_security == platform::Encryption::Implicit
        && description.contains(QLatin1String("wrong version number"))) {
        Fail(description + QStringLiteral(". La porta %1 di %2 non usa TLS dal primo byte: per la porta 587 scegliere"
                                          " STARTTLS, per la 465 TLS implicito.")
                               .arg(m_port)
                               .arg(m_host)
                 + kMendSettings,
             false, Outcome::Held);
        return;
    }
    Fail(description, false);
}

void SmtpSession::ws_Disconnected()
{
    if (sendState == 0 || sendState == SmtpDialogue::kPassword)
        return;
    Fail(QStringLiteral("Il server ha chiuso la connessione prima della fine del dialogo"), false);
}

void SmtpSession::ws_Encrypted()
{
    if (sendState != SmtpDialogue::kHandshake)
        return;
    Take(m_dialogue.Encrypted(), {});
}

QString SmtpSession::PinnedServer() const
{
    const QString host = m_host.contains(QLatin1Char(':')) ? QLatin1Char('[') + m_host + QLatin1Char(']') : m_host;
    return host + QLatin1Char(':') + QString::number(m_port);
}

bool SmtpSession::Trusted(const QString& fingerprint) const
{
    const QStringList trusted = m_settings.TrustedCertificate.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (trusted.size() != 2 || trusted[1].compare(fingerprint, Qt::CaseInsensitive) != 0)
        return false;
    // "host:port"; earlier builds wrote the host alone, which is read as the host on the
    // default port of the security in use, as a bare host in the SMTP setting is.
    const SmtpAddress pinned = SmtpAddress::Parse(trusted[0], DefaultPort(m_security));
    return pinned.valid && pinned.host.compare(m_host, Qt::CaseInsensitive) == 0 && pinned.port == m_port;
}

void SmtpSession::ws_SslErrors(const QString& reasons, const QString& fingerprint)
{
    if (sendState != SmtpDialogue::kHandshake)
        return;
    // The certificate the user accepted for this host, and only that one, passes.
    if (Trusted(fingerprint)) {
        ws.ContinueDespiteSslErrors();
        return;
    }
    const QString refused = QStringLiteral("Certificato di %1 non accettato: %2 (SHA-256 %3).").arg(m_host, reasons, fingerprint)
        + kRetryNow + QStringLiteral(" Verrà chiesto di nuovo se fidarsi del certificato.");
    if (!m_dialogs) {
        Fail(refused, false, Outcome::Held);
        return;
    }
    // Nothing has been sent over the connection; it waits, without a time-out, for the answer.
    m_replyTimer.Stop();
    SetSendState(SmtpDialogue::kTrust);
    QPointer<SmtpSession> self(this);
    const quint64 session = m_session;
    const QString host = m_host;
    const QString pinned = PinnedServer();
    m_dialogs->AskTrust(
        QStringLiteral("Il certificato del server %1 non è verificato:\n%2\n\nImpronta SHA-256:\n%3\n\n"
                       "Fidarsi di questo certificato?")
            .arg(host, reasons, fingerprint),
        [self, session, pinned, fingerprint, refused](bool yes) {
            if (!self || self->m_session != session || self->sendState != SmtpDialogue::kTrust)
                return;
            if (!yes) { // the user's answer: not asked again until the user retries
                self->Fail(refused, false, Outcome::Held);
                return;
            }
            self->m_settings.TrustedCertificate = pinned + QLatin1Char(' ') + fingerprint;
            self->SetSendState(SmtpDialogue::kHandshake);
            self->ArmReplyTimer();
            self->ws.ContinueDespiteSslErrors();
        });
}

void SmtpSession::ReplyTimer_Timeout()
{
    if (sendState == 0 || sendState == SmtpDialogue::kPassword || sendState == SmtpDialogue::kTrust)
        return;
    const int waited = sendState == SmtpDialogue::kDot ? m_timeouts.finalReplyMs : m_timeouts.replyMs;
    const QString silence = QStringLiteral("Nessuna risposta dal server entro %1").arg(Duration(waited));
    // The implicit-TLS port waits for our handshake while we wait for its greeting.
    if (sendState == SmtpDialogue::kGreeting && m_security != platform::Encryption::Implicit
        && m_port == DefaultPort(platform::Encryption::Implicit)) {
        Fail(silence + QStringLiteral(". La porta %1 vuole di solito TLS dal primo byte: scegliere TLS implicito.").arg(m_port)
                 + kMendSettings,
             false, Outcome::Held);
        return;
    }
    Fail(silence, false);
}

} // namespace mail
