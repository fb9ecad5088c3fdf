#pragma once

#include "CMessaggio.h"
#include "Outbox.h"
#include "platform/TcpSocket.h"

#include <QByteArray>
#include <QSet>
#include <QString>

namespace mail {

// The steps of the SMTP dialogue, apart from the socket and the timers: a complete reply in,
// the bytes to send and the next sendState out.
//
// sendState  reply or event awaited                next line(s)                             next
//   0        none (idle)                           -
//  10        the password (store or dialog)        connect                                   1 or 13
//  13        the TLS handshake (and a trust        implicit TLS: -                           1
//            question, 14, when it fails)          STARTTLS: EHLO <domain>, fresh caps       11
//   1        greeting 2xx                          HELO ME (Security none)                   2
//                                                  EHLO <address literal>                    11
//  11        answer to EHLO 2xx, capabilities      STARTTLS, if not yet encrypted            12
//                                                  AUTH OAUTHBEARER <token>, else            18
//                                                  AUTH XOAUTH2 <token>, signing in by token 18
//                                                  AUTH PLAIN <initial response>, else       15
//                                                  AUTH LOGIN, when a user is set            16
//                                                  MAIL FROM:<from>                          3
//  12        answer to STARTTLS 220                (handshake; bytes after the 220 end it)   13
//  16        334 to AUTH LOGIN                     base64 user                               17
//  17        334 to the user                       base64 password                           15
//  15        answer to AUTH 235                    MAIL FROM:<from>                          3
//  18        answer to the token 235               MAIL FROM:<from>                          3
//            334 <base64 JSON error>               the closing dummy (XOAUTH2 an empty line, 19
//                                                  OAUTHBEARER %x01)
//  19        the final 5xx of a refused token      QUIT; the token is renewed once          0
//   2        answer to HELO 2xx                    MAIL FROM:<from>                          3
//            5xx to HELO ME, once                  HELO <address literal>                    2
//   3        answer to MAIL 2xx                    RCPT TO:<to>                              4
//   4        answer to RCPT 2xx                    DATA                                      5
//   5        answer to DATA 3xx                    headers, blank line, text, "."            9
//   9        answer to "." 2xx                     QUIT, close, OK line, send log            0
// Any other reply is a refusal; a 5xx to AUTH refuses the password (or the token).
// The token is a secret like the password: it goes only into the AUTH line.
struct SmtpStep {
    enum class Then {
        Wait,            // send, then await the reply of state `next`
        StartTls,        // the handshake comes next (state 13)
        Delivered,       // send QUIT and report the OK line
        Refused,         // the reply is the refusal line
        PasswordRefused, // the server refused the login
        TokenRefused,    // the server refused the access token
        Failed,          // `error` is the ERR line
    };
    Then then = Then::Wait;
    qint32 next = 0;
    QByteArray send;
    QString error;
    bool quit = true; // Refused/Failed: say QUIT before closing
    Outcome outcome = Outcome::Temporary; // Failed: a setting the server cannot work with is Held
};

class SmtpDialogue {
public:
    enum State : qint32 {
        kIdle = 0,
        kGreeting = 1,
        kHelo = 2,
        kMail = 3,
        kRcpt = 4,
        kData = 5,
        kDot = 9,
        kPassword = 10,
        kEhlo = 11,
        kStartTls = 12,
        kHandshake = 13,
        kTrust = 14,
        kAuth = 15,
        kAuthUser = 16,
        kAuthPassword = 17,
        kAuthToken = 18,
        kAuthTokenRefused = 19,
    };
    static bool Valid(qint32 state) { return (state >= 0 && state <= 5) || state == 9 || (state >= 10 && state <= 19); }

    // A new session for mail. The domain, our address literal after EHLO and after a second
    // HELO, is set once the connection stands (SetDomain).
    void Begin(const CMessaggio& mail, platform::Encryption security, const QString& user, const QString& password);
    void SetDomain(const QString& domain) { m_domain = domain; }
    // The same, logging in with an OAuth 2.0 access token for user at host:port.
    void BeginWithToken(const CMessaggio& mail, platform::Encryption security, const QString& user,
                        const QString& accessToken, const QString& host, quint16 port);
    // The mechanism used for the token: "OAUTHBEARER", "XOAUTH2", or empty before AUTH.
    QByteArray TokenMechanism() const { return m_mechanism; }
    // The first state after connecting.
    qint32 FirstState() const { return m_security == platform::Encryption::Implicit ? kHandshake : kGreeting; }

    SmtpStep Answer(qint32 sendState, const QByteArray& reply, bool wellFormed);
    // The handshake has ended with a trusted certificate.
    SmtpStep Encrypted();
    // Forget the password as soon as the session no longer needs it.
    void End();

private:
    SmtpStep AfterEhlo();
    SmtpStep AuthWithToken();
    SmtpStep SendMailFrom();
    SmtpStep RefuseAddresses() const;
    QByteArray Line(const QString& text) const;

    const CMessaggio* m_mail = nullptr;
    platform::Encryption m_security = platform::Encryption::None;
    QString m_user;
    QString m_password;
    QString m_domain;
    bool m_encrypted = false;
    bool m_heloAgain = false; // HELO ME was refused and HELO <literal> sent
    QSet<QByteArray> m_capabilities; // "STARTTLS", "AUTH PLAIN", "AUTH LOGIN", "SMTPUTF8"
    QString m_token; // set: log in by token, not by password
    QString m_tokenHost;
    quint16 m_tokenPort = 0;
    QByteArray m_mechanism;
};

} // namespace mail
