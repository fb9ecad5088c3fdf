#include "SmtpSession.h"

#include "MessageFormat.h"
#include "SmtpAddress.h"
#include "settings/modMain.h"

#include <cctype>

namespace mail {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

QString Duration(int ms)
{
    if (ms % 60000 == 0)
        return ms == 60000 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(ms / 60000);
    if (ms % 1000 == 0)
        return ms == 1000 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(ms / 1000);
    return QStringLiteral("%1 ms").arg(ms);
}

const QString kMayHaveBeenDelivered = QStringLiteral(" (after the message was sent: it may have been delivered)");

} // namespace

SmtpSession::SmtpSession(platform::ITcpSocket& ws, platform::ITimer& replyTimer, const settings::ModMain& settings,
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
    connect(&replyTimer, &platform::ITimer::timeout, this, &SmtpSession::ReplyTimer_Timeout);
}

void SmtpSession::StartSending(const std::shared_ptr<CMessaggio>& record)
{
    // The dispatcher starts sessions only when idle; should one still run, it gets its outcome.
    if (sendState != 0)
        Fail(QStringLiteral("Sending interrupted by the next message"), true);

    m_currentMail = record;
    m_outbox.SetInFlight(record);
    m_reply.clear();

    const SmtpAddress server = SmtpAddress::Parse(m_settings.SMTP);
    if (!server.valid) {
        m_outbox.ReportError(QStringLiteral("Invalid SMTP server: \"%1\"").arg(m_settings.SMTP));
        return;
    }
    // The state is set before connecting, so an error raised at once belongs to this session.
    SetSendState(1);
    ArmReplyTimer();
    ws.ConnectToHost(server.host, server.port);
}

void SmtpSession::SetSendState(qint32 value)
{
    sendState = static_cast<qint16>(value);
    if (value != 0 && m_currentMail)
        Q_EMIT lblDoingChanged(QStringLiteral("[%1] Sending to %2").arg(value).arg(m_currentMail->mailToNick));
    else
        Q_EMIT lblDoingChanged(QString());
}

void SmtpSession::SendLine(const QString& line)
{
    SendBytes(line.toUtf8() + kCrLf);
}

void SmtpSession::SendBytes(const QByteArray& bytes)
{
    ws.Write(bytes);
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
        AnswerReply(reply, wellFormed);
        // The command just sent cannot have been answered yet: bytes already here were sent
        // out of turn, and taking them as its answer would put the dialogue a step off.
        if (sendState != 0 && !m_reply.isEmpty()) {
            const QByteArray first = m_reply.left(m_reply.indexOf('\n')).left(100).trimmed();
            Fail(QStringLiteral("The server replied before it was asked: ") + QString::fromUtf8(first), true);
        }
    }

    if (sendState != 0 && m_reply.size() > kMaxReplyBytes)
        Fail(QStringLiteral("The server sent a reply longer than %1 bytes").arg(kMaxReplyBytes), true);
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

void SmtpSession::AnswerReply(const QByteArray& reply, bool wellFormed)
{
    // Only the reply that the step asks for lets the dialogue go on: 354 to DATA, 2xx to the rest.
    const char expected = sendState == 5 ? '3' : '2';
    if (!wellFormed || reply.at(0) != expected) {
        Refuse(reply);
        return;
    }
    const CMessaggio& mail = *m_currentMail;
    switch (sendState) {
    case 1:
        SendLine(QStringLiteral("HELO ME"));
        SetSendState(2);
        break;
    case 2:
        SendLine(QStringLiteral("MAIL FROM:<") + OneLine(mail.mailFrom) + QLatin1Char('>'));
        SetSendState(3);
        break;
    case 3:
        SendLine(QStringLiteral("RCPT TO:<") + OneLine(mail.mailTo) + QLatin1Char('>'));
        SetSendState(4);
        break;
    case 4:
        SendLine(QStringLiteral("DATA"));
        SetSendState(5);
        break;
    case 5:
        SendBytes(MessageContent(mail) + QByteArrayLiteral(".\r\n"));
        SetSendState(9);
        break;
    case 9: {
        SendLine(QStringLiteral("QUIT"));
        const std::shared_ptr<CMessaggio> delivered = m_currentMail;
        Finish();
        m_outbox.ReportDelivered(*delivered);
        m_sendLog.WriteSendLog(*delivered);
        return;
    }
    default:
        return;
    }
    ArmReplyTimer();
}

void SmtpSession::Refuse(const QByteArray& reply)
{
    m_outbox.ReportRefusal(QString::fromUtf8(reply));
    SendLine(QStringLiteral("QUIT"));
    Finish();
}

void SmtpSession::Fail(const QString& description, bool sayQuit)
{
    const bool afterMessage = sendState == 9;
    m_outbox.ReportError(afterMessage ? description + kMayHaveBeenDelivered : description);
    if (sayQuit)
        SendLine(QStringLiteral("QUIT"));
    Finish();
}

void SmtpSession::Finish()
{
    m_replyTimer.Stop();
    ws.Close();
    m_reply.clear();
    SetSendState(0);
}

void SmtpSession::ArmReplyTimer()
{
    m_replyTimer.Start(sendState == 9 ? m_timeouts.finalReplyMs : m_timeouts.replyMs, true);
}

void SmtpSession::ws_Error(const QString& description)
{
    // An error after the session's end (or before any) has no message to report on.
    if (sendState == 0)
        return;
    Fail(description, false);
}

void SmtpSession::ws_Disconnected()
{
    if (sendState == 0)
        return;
    Fail(QStringLiteral("The server closed the connection before the end of the dialogue"), false);
}

void SmtpSession::ReplyTimer_Timeout()
{
    if (sendState == 0)
        return;
    const int waited = sendState == 9 ? m_timeouts.finalReplyMs : m_timeouts.replyMs;
    Fail(QStringLiteral("No reply from the server within %1").arg(Duration(waited)), false);
}

} // namespace mail
