#pragma once

#include "CMessaggio.h"
#include "OAuthTokens.h"
#include "Outbox.h"
#include "SendLog.h"
#include "SmtpDialogue.h"
#include "platform/Dialogs.h"
#include "platform/TcpSocket.h"
#include "platform/Timer.h"

#include <QObject>

#include <memory>

namespace settings {
struct ModMain;
}

namespace mail {

class Passwords;

// Delivers currentMail over one TCP connection: the socket, the time-outs, the password and the
// certificate question around the dialogue steps of SmtpDialogue (its table lists every sendState).
// A refusal ends the session with the server's reply listed; a time-out, a socket error, a server
// close or a broken rule ends it with an "ERR - " line. Each session has exactly one outcome, an
// Outcome for the Outbox: what only the user can mend (a setting, a password, a certificate) is Held.
class SmtpSession : public QObject {
    Q_OBJECT
public:
    struct Timeouts {
        int replyMs = 2 * 60 * 1000;       // greeting, TLS handshake and each command
        int finalReplyMs = 10 * 60 * 1000; // the reply to the final "."
    };

    // A reply that grows past this without ending is not SMTP; the session gives up on it.
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;

    // ws and replyTimer are owned by the caller and outlive the session. Without passwords and
    // dialogs, a session that needs a password or the trust question ends with an ERR line.
    SmtpSession(platform::ITcpSocket& ws, platform::ITimer& replyTimer, settings::ModMain& settings, Outbox& outbox,
                SendLog& sendLog, Timeouts timeouts, QObject* parent = nullptr);
    SmtpSession(platform::ITcpSocket& ws, platform::ITimer& replyTimer, settings::ModMain& settings, Outbox& outbox,
                SendLog& sendLog, Timeouts timeouts, Passwords& passwords, platform::IDialogs& dialogs,
                QObject* parent = nullptr);

    // Where access tokens come from when the settings say Auth=oauth2; outlives the session.
    void SetTokenSource(ITokenSource* tokens) { m_tokens = tokens; }

    void StartSending(const std::shared_ptr<CMessaggio>& record);
    qint32 SendState() const { return sendState; }
    // Applies from the next wait on.
    void SetTimeouts(Timeouts timeouts) { m_timeouts = timeouts; }
    const std::shared_ptr<CMessaggio>& currentMail() const { return m_currentMail; }

Q_SIGNALS:
    // The caption of lblDoing: "[" + step + "] Sending to " + nick, or empty when idle.
    void lblDoingChanged(const QString& caption);

private:
    void SetSendState(qint32 value);
    void Connect(const QString& password);
    void ObtainToken(ITokenSource::Mode mode);
    void ConnectWithToken(const QString& accessToken);
    // A sign-in that gave no token (cancelled, refused, timed out, not configured): the one place
    // that decides what becomes of the message. Only the user can mend it, unless the provider
    // could not be reached (retryLater), which the clock tries again.
    void HoldForSignIn(const QString& reason, bool retryLater = false);
    void ws_DataArrival();
    void ws_Error(const QString& description);
    void ws_Disconnected();
    void ws_Encrypted();
    void ws_SslErrors(const QString& reasons, const QString& fingerprint);
    void ReplyTimer_Timeout();

    // Takes one complete reply off the front of m_reply; false while it is still incomplete.
    bool TakeCompleteReply(QByteArray& reply, bool& wellFormed);
    void Take(const SmtpStep& step, const QByteArray& reply);
    void Refuse(const QString& line, Outcome outcome);
    void Fail(const QString& description, bool sayQuit, Outcome outcome = Outcome::Temporary);
    void Finish();
    void ArmReplyTimer();
    bool Trusted(const QString& fingerprint) const;
    QString PinnedServer() const; // "host:port", "[v6]:port": what a trusted certificate is bound to

    platform::ITcpSocket& ws;
    platform::ITimer& m_replyTimer;
    settings::ModMain& m_settings;
    Outbox& m_outbox;
    SendLog& m_sendLog;
    Timeouts m_timeouts;
    Passwords* m_passwords = nullptr;
    platform::IDialogs* m_dialogs = nullptr;
    ITokenSource* m_tokens = nullptr;
    bool m_tokenRenewed = false; // a refused token is renewed once per session
    std::shared_ptr<CMessaggio> m_currentMail;
    qint16 sendState = 0;
    QByteArray m_reply; // bytes of the reply being assembled
    SmtpDialogue m_dialogue;
    platform::Encryption m_security = platform::Encryption::None;
    QString m_host;
    quint16 m_port = 0;
    quint64 m_session = 0; // tells a late answer of the password dialog or trust question apart
};

} // namespace mail
