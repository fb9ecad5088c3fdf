#include "SmtpSession.h"

#include "SmtpAddress.h"
#include "settings/modMain.h"

#include <cctype>

namespace mail {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

bool IsAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}

// A field must stay on its own line: a line break in it would start a header or a command.
QString OneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

// The lines of a text whose own line breaks may be LF, CR or CR LF.
QStringList TextLines(const QString& text)
{
    QString unified = text;
    unified.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return unified.split(QLatin1Char('\n'));
}

// The text with CR LF line ends and a leading "." doubled, so that no line of it ends the
// message early.
QByteArray BodyLines(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() + 16);
    for (const QString& line : TextLines(text)) {
        if (line.startsWith(QLatin1Char('.')))
            out += '.';
        out += line.toUtf8();
        out += kCrLf;
    }
    return out;
}

QString Duration(int ms)
{
    if (ms % 60000 == 0)
        return ms == 60000 ? QStringLiteral("1 minute") : QStringLiteral("%1 minutes").arg(ms / 60000);
    if (ms % 1000 == 0)
        return ms == 1000 ? QStringLiteral("1 second") : QStringLiteral("%1 seconds").arg(ms / 1000);
    return QStringLiteral("%1 ms").arg(ms);
}

// SMTP carries lines of at most 998 octets before the CR LF; servers refuse longer ones.
constexpr qsizetype kMaxLineOctets = 998;

bool HasLongLine(const QByteArray& lines)
{
    qsizetype start = 0;
    while (start < lines.size()) {
        const qsizetype end = lines.indexOf(kCrLf, start);
        if ((end < 0 ? lines.size() : end) - start > kMaxLineOctets)
            return true;
        start = end < 0 ? lines.size() : end + 2;
    }
    return false;
}

// Quoted-printable text with CR LF line ends and lines of at most 76 characters, for a text
// with a paragraph too long for one SMTP line. A "." that would start a line is encoded, so
// no line of it ends the message early.
QByteArray QuotedPrintableLines(const QString& text)
{
    QByteArray out;
    for (const QString& line : TextLines(text)) {
        const QByteArray bytes = line.toUtf8();
        qsizetype column = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const uchar c = static_cast<uchar>(bytes[i]);
            const bool last = i + 1 == bytes.size();
            const bool plain = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
            QByteArray token = plain ? QByteArray(1, char(c)) : "=" + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
            if (column + token.size() > 75) {
                out += "=\r\n";
                column = 0;
            }
            if (column == 0 && c == '.')
                token = "=2E";
            out += token;
            column += token.size();
        }
        out += kCrLf;
    }
    return out;
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

QByteArray SmtpSession::EncodeHeaderText(const QString& text)
{
    // At most 45 bytes per word keep each encoded word within 75 characters; a character's
    // bytes are never split between two words.
    constexpr qsizetype kMaxBytes = 45;
    QList<QByteArray> chunks(1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype units = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray bytes = text.mid(i, units).toUtf8();
        if (chunks.last().size() + bytes.size() > kMaxBytes)
            chunks.append(QByteArray());
        chunks.last() += bytes;
        i += units - 1;
    }
    QByteArray out;
    for (const QByteArray& chunk : chunks) {
        if (!out.isEmpty())
            out += "\r\n "; // folded: the blank between encoded words is not part of the text
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
    }
    return out;
}

QByteArray SmtpSession::MessageContent(const CMessaggio& mail)
{
    const QString subject = OneLine(mail.mailSubject);
    const QString name = OneLine(mail.mailFromName);
    const QByteArray body = BodyLines(mail.mailText);
    const bool quotedPrintable = HasLongLine(body);
    const bool utf8 = quotedPrintable || !IsAscii(subject) || !IsAscii(name) || !IsAscii(mail.mailText);
    // Encoded words fold a header that would not fit one line.
    auto header = [](const QString& text) {
        return IsAscii(text) && text.size() < kMaxLineOctets - 100 ? text.toUtf8() : EncodeHeaderText(text);
    };

    QByteArray out;
    out += "Subject:" + header(subject) + kCrLf;
    out += "From:" + header(name) + " <" + OneLine(mail.mailFrom).toUtf8() + ">" + kCrLf;
    out += "To:" + OneLine(mail.mailTo).toUtf8() + kCrLf;
    if (utf8) {
        out += "MIME-Version: 1.0\r\n";
        out += "Content-Type: text/plain; charset=UTF-8\r\n";
        out += quotedPrintable ? "Content-Transfer-Encoding: quoted-printable\r\n" : "Content-Transfer-Encoding: 8bit\r\n";
    }
    out += kCrLf;
    out += quotedPrintable ? QuotedPrintableLines(mail.mailText) : body;
    return out;
}

} // namespace mail
