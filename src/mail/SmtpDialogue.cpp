#include "SmtpDialogue.h"

#include "AddressRules.h"
#include "MessageFormat.h"

#include <QDateTime>

namespace mail {

namespace {

SmtpStep Wait(qint32 next, const QByteArray& send)
{
    SmtpStep step;
    step.next = next;
    step.send = send;
    return step;
}

SmtpStep Failed(const QString& error, bool quit, Outcome outcome = Outcome::Temporary)
{
    SmtpStep step;
    step.then = SmtpStep::Then::Failed;
    step.error = error;
    step.quit = quit;
    step.outcome = outcome;
    return step;
}

// Where the user mends what the server cannot work with.
const QString kMendSettings = QStringLiteral(" Correggere in File > Configurazione > Server e account e confermare con OK:"
                                             " i messaggi attendono.");

} // namespace

void SmtpDialogue::Begin(const CMessaggio& mail, platform::Encryption security, const QString& user,
                         const QString& password)
{
    m_mail = &mail;
    m_security = security;
    m_user = user;
    m_password = password;
    m_domain.clear();
    m_encrypted = false;
    m_heloAgain = false;
    m_capabilities.clear();
    m_token.clear();
    m_mechanism.clear();
}

void SmtpDialogue::BeginWithToken(const CMessaggio& mail, platform::Encryption security, const QString& user,
                                  const QString& accessToken, const QString& host, quint16 port)
{
    Begin(mail, security, user, QString());
    m_token = accessToken;
    m_tokenHost = host;
    m_tokenPort = port;
}

void SmtpDialogue::End()
{
    m_password.fill(QLatin1Char('\0'));
    m_password.clear();
    m_token.fill(QLatin1Char('\0'));
    m_token.clear();
    m_mail = nullptr;
}

QByteArray SmtpDialogue::Line(const QString& text) const
{
    return text.toUtf8() + QByteArrayLiteral("\r\n");
}

SmtpStep SmtpDialogue::Answer(qint32 sendState, const QByteArray& reply, bool wellFormed)
{
    if (sendState == kPassword || sendState == kHandshake || sendState == kTrust) {
        const QByteArray first = reply.left(reply.indexOf('\n')).left(100).trimmed();
        return Failed(QStringLiteral("Il server ha risposto prima della domanda: ") + QString::fromUtf8(first), false);
    }
    // Relays that want a full host name refuse "HELO ME": greet once more with our address.
    if (sendState == kHelo && !m_heloAgain && wellFormed && reply.at(0) == '5' && !m_domain.isEmpty()) {
        m_heloAgain = true;
        return Wait(kHelo, Line(QStringLiteral("HELO ") + m_domain));
    }
    if (sendState == kAuthTokenRefused) {
        // The server closes the exchange it opened with its 334: this is its final refusal.
        SmtpStep step;
        step.then = SmtpStep::Then::TokenRefused;
        return step;
    }
    if (sendState == kAuthToken && wellFormed && reply.startsWith("334")) {
        // RFC 7628 and the providers: a refused token comes as a 334 with a JSON error, and the
        // client ends that exchange before the server gives its 5xx.
        return Wait(kAuthTokenRefused, m_mechanism == "OAUTHBEARER" ? QByteArrayLiteral("AQ==\r\n")
                                                                     : QByteArrayLiteral("\r\n"));
    }
    if (sendState == kAuthToken && wellFormed && reply.at(0) == '5') {
        SmtpStep step;
        step.then = SmtpStep::Then::TokenRefused;
        return step;
    }
    const bool asksMore = sendState == kData || sendState == kAuthUser || sendState == kAuthPassword;
    if (!wellFormed || reply.at(0) != (asksMore ? '3' : '2')) {
        SmtpStep step;
        // A 5xx to the login or to the user name: the server will not take this user and password.
        const bool login = sendState == kAuth || sendState == kAuthPassword;
        step.then = login && wellFormed && reply.at(0) == '5' ? SmtpStep::Then::PasswordRefused : SmtpStep::Then::Refused;
        return step;
    }
    switch (sendState) {
    case kGreeting:
        if (m_security == platform::Encryption::None)
            return Wait(kHelo, Line(QStringLiteral("HELO ME")));
        return Wait(kEhlo, Line(QStringLiteral("EHLO ") + m_domain));
    case kEhlo:
        // The first line names the server; each further line is one extension.
        m_capabilities.clear();
        for (const QByteArray& raw : reply.split('\n').mid(1)) {
            const QList<QByteArray> words = raw.mid(4).trimmed().toUpper().replace('=', ' ').split(' ');
            if (words.value(0) == "STARTTLS" || words.value(0) == "SMTPUTF8")
                m_capabilities.insert(words.value(0));
            else if (words.value(0) == "AUTH")
                for (const QByteArray& mechanism : words.mid(1))
                    if (!mechanism.isEmpty())
                        m_capabilities.insert("AUTH " + mechanism);
        }
        return AfterEhlo();
    case kStartTls: {
        SmtpStep step;
        step.then = SmtpStep::Then::StartTls;
        step.next = kHandshake;
        step.quit = false;
        return step;
    }
    case kAuthUser:
        return Wait(kAuthPassword, m_user.toUtf8().toBase64() + "\r\n");
    case kAuthPassword:
        return Wait(kAuth, m_password.toUtf8().toBase64() + "\r\n");
    case kAuth:
        m_password.clear();
        return SendMailFrom();
    case kAuthToken:
        m_token.fill(QLatin1Char('\0'));
        m_token.clear();
        return SendMailFrom();
    case kHelo:
        return SendMailFrom();
    case kMail:
        return Wait(kRcpt, Line(QStringLiteral("RCPT TO:<") + OneLine(m_mail->mailTo) + QLatin1Char('>')));
    case kRcpt:
        return Wait(kData, Line(QStringLiteral("DATA")));
    case kData:
        // Submission to a provider carries Date and Message-ID; the plain relay keeps its three headers.
        return Wait(kDot, MessageContent(*m_mail, {m_security != platform::Encryption::None, QDateTime::currentDateTime()})
                              + QByteArrayLiteral(".\r\n"));
    case kDot: {
        SmtpStep step;
        step.then = SmtpStep::Then::Delivered;
        step.send = Line(QStringLiteral("QUIT"));
        return step;
    }
    default:
        return Failed(QStringLiteral("Nessuna risposta era attesa"), false);
    }
}

SmtpStep SmtpDialogue::AfterEhlo()
{
    if (m_security == platform::Encryption::StartTls && !m_encrypted) {
        if (m_capabilities.contains("STARTTLS"))
            return Wait(kStartTls, Line(QStringLiteral("STARTTLS")));
        // Never on in clear text: nothing more goes to this server.
        return Failed(QStringLiteral("Il server non offre STARTTLS: non è stato inviato nulla. Forse la porta vuole TLS"
                                     " dal primo byte (Security tls, porta 465) o nessuna cifratura.")
                          + kMendSettings,
                      false, Outcome::Held);
    }
    if (m_user.isEmpty())
        return SendMailFrom();
    if (!m_encrypted)
        return Failed(QStringLiteral("Una password non viene mai inviata senza TLS.") + kMendSettings, true, Outcome::Held);
    // A NUL (from a store filled by other means) would shift AUTH PLAIN's framing.
    if (m_user.contains(QChar(0)) || m_password.contains(QChar(0)))
        return Failed(QStringLiteral("Il nome utente o la password contiene il carattere NUL: non inviati.") + kMendSettings,
                      true, Outcome::Held);
    if (!m_token.isEmpty())
        return AuthWithToken();
    if (m_capabilities.contains("AUTH PLAIN")) {
        const QByteArray response = '\0' + m_user.toUtf8() + '\0' + m_password.toUtf8();
        return Wait(kAuth, "AUTH PLAIN " + response.toBase64() + "\r\n");
    }
    if (m_capabilities.contains("AUTH LOGIN"))
        return Wait(kAuthUser, Line(QStringLiteral("AUTH LOGIN")));
    return Failed(QStringLiteral("Il server non offre né AUTH PLAIN né AUTH LOGIN: l'accesso con utente e password"
                                 " non è possibile qui. Controllare server, porta e utente.")
                      + kMendSettings,
                  true, Outcome::Held);
}

SmtpStep SmtpDialogue::AuthWithToken()
{
    // One line each, as long as the token makes it (2,500 bytes and more for some providers).
    const char kSep = 1; // the ^A between the fields of both mechanisms
    QByteArray response;
    if (m_capabilities.contains("AUTH OAUTHBEARER")) {
        m_mechanism = "OAUTHBEARER";
        response = "n,a=" + m_user.toUtf8() + ',' + kSep + "host=" + m_tokenHost.toUtf8() + kSep + "port="
            + QByteArray::number(m_tokenPort) + kSep + "auth=Bearer " + m_token.toUtf8() + kSep + kSep;
    } else if (m_capabilities.contains("AUTH XOAUTH2")) {
        m_mechanism = "XOAUTH2";
        response = "user=" + m_user.toUtf8() + kSep + "auth=Bearer " + m_token.toUtf8() + kSep + kSep;
    } else {
        return Failed(QStringLiteral("Il server non offre l'accesso con token (né AUTH OAUTHBEARER né AUTH XOAUTH2):"
                                     " scegliere l'accesso con password o il server del fornitore.")
                          + kMendSettings,
                      true, Outcome::Held);
    }
    QByteArray line = "AUTH " + m_mechanism + ' ' + response.toBase64() + "\r\n";
    response.fill('\0');
    return Wait(kAuthToken, line);
}

SmtpStep SmtpDialogue::SendMailFrom()
{
    if (SmtpStep refused = RefuseAddresses(); refused.then == SmtpStep::Then::Failed)
        return refused;
    // An address beyond ASCII needs the server's SMTPUTF8 (RefuseAddresses made sure it is offered).
    const bool utf8 = !IsAscii(m_mail->mailFrom) || !IsAscii(m_mail->mailTo);
    return Wait(kMail, Line(QStringLiteral("MAIL FROM:<") + OneLine(m_mail->mailFrom) + QLatin1Char('>')
                            + (utf8 ? QStringLiteral(" SMTPUTF8") : QString())));
}

// Records from the outbox or the news were never checked by the composer: an address that could
// carry ESMTP parameters or a command never reaches the wire, and no later attempt would change it.
SmtpStep SmtpDialogue::RefuseAddresses() const
{
    const std::pair<QString, QString> addresses[] = {{QStringLiteral("del mittente"), m_mail->mailFrom},
                                                     {QStringLiteral("del destinatario"), m_mail->mailTo}};
    for (const auto& [whose, address] : addresses) {
        QString problem = AddressProblem(address);
        if (problem.isEmpty() && !IsAscii(address) && !m_capabilities.contains("SMTPUTF8"))
            problem = QStringLiteral("contiene caratteri non ASCII e il server non offre SMTPUTF8");
        if (!problem.isEmpty()) {
            return Failed(QStringLiteral("Indirizzo %1 rifiutato, messaggio non inviato: %2").arg(whose, problem), true,
                          Outcome::Final);
        }
    }
    return {};
}

SmtpStep SmtpDialogue::Encrypted()
{
    m_encrypted = true;
    m_capabilities.clear(); // what was offered in clear text counts no more
    if (m_security == platform::Encryption::Implicit)
        return Wait(kGreeting, {});
    return Wait(kEhlo, Line(QStringLiteral("EHLO ") + m_domain));
}

} // namespace mail
