#pragma once

#include "CMessaggio.h"
#include "Outbox.h"
#include "SendLog.h"
#include "platform/TcpSocket.h"
#include "platform/Timer.h"

#include <QObject>

#include <memory>

namespace settings {
struct ModMain;
}

namespace mail {

// Delivers currentMail over one TCP connection, one dialogue step per complete server reply.
//
// sendState  reply awaited            next line(s)
//   0        none (idle)              -
//   1        greeting 2xx             HELO ME
//   2        answer to HELO 2xx       MAIL FROM:<from>
//   3        answer to MAIL 2xx       RCPT TO:<to>
//   4        answer to RCPT 2xx       DATA
//   5        answer to DATA 3xx       headers, blank line, text, "."
//   9        answer to "." 2xx        QUIT, close, OK line, send log
// Any other reply ends the session as a refusal; a time-out, a socket error or a server close
// ends it with an "ERR - " line. Each session has exactly one outcome.
class SmtpSession : public QObject {
    Q_OBJECT
public:
    struct Timeouts {
        int replyMs = 2 * 60 * 1000;       // greeting and each command
        int finalReplyMs = 10 * 60 * 1000; // the reply to the final "."
    };

    // A reply that grows past this without ending is not SMTP; the session gives up on it.
    static constexpr qsizetype kMaxReplyBytes = 64 * 1024;

    // ws and replyTimer are owned by the caller and outlive the session.
    SmtpSession(platform::ITcpSocket& ws, platform::ITimer& replyTimer, const settings::ModMain& settings,
                Outbox& outbox, SendLog& sendLog, Timeouts timeouts, QObject* parent = nullptr);

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
    void SendLine(const QString& line);
    void SendBytes(const QByteArray& bytes);
    void ws_DataArrival();
    void ws_Error(const QString& description);
    void ws_Disconnected();
    void ReplyTimer_Timeout();

    // Takes one complete reply off the front of m_reply; false while it is still incomplete.
    bool TakeCompleteReply(QByteArray& reply, bool& wellFormed);
    void AnswerReply(const QByteArray& reply, bool wellFormed);
    void Refuse(const QByteArray& reply);
    void Fail(const QString& description, bool sayQuit);
    void Finish();
    void ArmReplyTimer();

    platform::ITcpSocket& ws;
    platform::ITimer& m_replyTimer;
    const settings::ModMain& m_settings;
    Outbox& m_outbox;
    SendLog& m_sendLog;
    Timeouts m_timeouts;
    std::shared_ptr<CMessaggio> m_currentMail;
    qint16 sendState = 0;
    QByteArray m_reply; // bytes of the reply being assembled
};

} // namespace mail
