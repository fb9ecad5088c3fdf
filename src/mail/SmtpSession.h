#pragma once

#include "CMessaggio.h"
#include "Outbox.h"
#include "SendLog.h"
#include "platform/TcpSocket.h"
#include "platform/Timer.h"

#include <QObject>

#include <memory>

namespace app {
struct ModMain;
}

namespace mail {

// Delivers currentMail over one TCP connection, one dialogue step per complete server reply.
class SmtpSession : public QObject {
    Q_OBJECT
public:
    struct Timeouts {
        int replyMs = 2 * 60 * 1000;       // greeting and each command
        int finalReplyMs = 10 * 60 * 1000; // the reply to the final "."
    };

    // ws and replyTimer are owned by the caller and outlive the session.
    SmtpSession(platform::ITcpSocket& ws, platform::ITimer& replyTimer, const app::ModMain& settings,
                Outbox& outbox, SendLog& sendLog, Timeouts timeouts, QObject* parent = nullptr);

    void StartSending(const std::shared_ptr<CMessaggio>& record);
    qint32 SendState() const { return sendState; }
    const std::shared_ptr<CMessaggio>& currentMail() const { return m_currentMail; }

Q_SIGNALS:
    // The caption of lblDoing: "[" + step + "] Sending to " + nick, or empty when idle.
    void lblDoingChanged(const QString& caption);

private:
    void SetSendState(qint32 value);
    void SendLine(const QString& line);
    void ws_DataArrival();
    void ws_Error(const QString& description);

    platform::ITcpSocket& ws;
    platform::ITimer& m_replyTimer;
    const app::ModMain& m_settings;
    Outbox& m_outbox;
    SendLog& m_sendLog;
    Timeouts m_timeouts;
    std::shared_ptr<CMessaggio> m_currentMail;
    qint16 sendState = 0;
    QByteArray m_reply; // bytes of the reply being assembled
};

} // namespace mail
