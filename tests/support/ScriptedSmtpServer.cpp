#include "ScriptedSmtpServer.h"

#include <QHostAddress>
#include <QSignalSpy>
#include <QTimer>

namespace testsupport {

QList<QByteArray> ScriptedSmtpServer::GoodReplies()
{
    return {"220 scripted ready\r\n", "250 hello\r\n",    "250 sender ok\r\n",
            "250 recipient ok\r\n",   "354 go ahead\r\n", "250 queued as 1\r\n"};
}

namespace {
// What the client sends before each reply of GoodReplies (nothing before the greeting).
QList<ScriptedSmtpServer::Step> ClientStep(int step)
{
    switch (step) {
    case 1: return {ScriptedSmtpServer::Expect("HELO ")};
    case 2: return {ScriptedSmtpServer::Expect("MAIL FROM:<")};
    case 3: return {ScriptedSmtpServer::Expect("RCPT TO:<")};
    case 4: return {ScriptedSmtpServer::Expect("DATA")};
    case 5: return {ScriptedSmtpServer::ExpectData()};
    default: return {};
    }
}

ScriptedSmtpServer::Script UpTo(int step)
{
    ScriptedSmtpServer::Script script;
    const QList<QByteArray> replies = ScriptedSmtpServer::GoodReplies();
    for (int i = 0; i < step; ++i) {
        script += ClientStep(i);
        script.append(ScriptedSmtpServer::Send(replies.at(i)));
    }
    script += ClientStep(step);
    return script;
}
} // namespace

ScriptedSmtpServer::Script ScriptedSmtpServer::Dialogue(const QList<QByteArray>& replies, bool byteByByte)
{
    Script script;
    for (int i = 0; i < replies.size(); ++i) {
        script += ClientStep(i);
        script.append(byteByByte ? SendByteByByte(replies.at(i)) : Send(replies.at(i)));
    }
    script.append(Expect("QUIT"));
    script.append(Send("221 bye\r\n"));
    script.append(Close());
    return script;
}

ScriptedSmtpServer::Script ScriptedSmtpServer::FailAt(int step, const QByteArray& reply)
{
    Script script = UpTo(step);
    script.append(Send(reply));
    script.append(Expect("QUIT"));
    script.append(Close());
    return script;
}

ScriptedSmtpServer::Script ScriptedSmtpServer::CloseAt(int step)
{
    Script script = UpTo(step);
    script.append(Close());
    return script;
}

ScriptedSmtpServer::Script ScriptedSmtpServer::SilentAt(int step)
{
    return UpTo(step);
}

ScriptedSmtpServer::ScriptedSmtpServer(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, &ScriptedSmtpServer::OnNewConnection);
}

bool ScriptedSmtpServer::Listen()
{
    return m_server.listen(QHostAddress::LocalHost, 0);
}

bool ScriptedSmtpServer::WaitForClientClosed(int timeoutMs)
{
    if (clientClosed)
        return true;
    QSignalSpy gone(this, &ScriptedSmtpServer::clientGone);
    return gone.wait(timeoutMs);
}

void ScriptedSmtpServer::OnNewConnection()
{
    while (QTcpSocket* socket = m_server.nextPendingConnection()) {
        if (m_socket)
            m_socket->deleteLater();
        m_socket = socket;
        ++connections;
        received.clear();
        message.clear();
        mismatches.clear();
        clientClosed = false;
        m_pos = 0;
        m_buffer.clear();
        m_lines.clear();
        m_dribble.clear();
        m_inData = false;
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
            if (socket == m_socket)
                OnReadyRead();
        });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            if (socket == m_socket) {
                clientClosed = true;
                Q_EMIT clientGone();
            }
        });
        Run();
    }
}

void ScriptedSmtpServer::OnReadyRead()
{
    m_buffer += m_socket->readAll();
    for (qsizetype lf; (lf = m_buffer.indexOf("\r\n")) >= 0;) {
        const QByteArray line = m_buffer.left(lf);
        m_buffer.remove(0, lf + 2);
        received.append(QString::fromUtf8(line));
        m_lines.append(line);
    }
    Run();
}

void ScriptedSmtpServer::Run()
{
    while (m_socket && m_dribble.isEmpty() && m_pos < m_script.size()) {
        const Step& step = m_script.at(m_pos);
        switch (step.kind) {
        case Step::Send:
            m_socket->write(step.bytes);
            break;
        case Step::SendByteByByte:
            m_dribble = step.bytes;
            ++m_pos;
            Dribble();
            return;
        case Step::Expect:
            if (m_lines.isEmpty())
                return;
            if (!m_lines.first().startsWith(step.bytes))
                mismatches.append(QStringLiteral("expected %1, got %2")
                                      .arg(QString::fromUtf8(step.bytes), QString::fromUtf8(m_lines.first())));
            m_lines.removeFirst();
            break;
        case Step::ExpectData:
            while (!m_lines.isEmpty()) {
                const QByteArray line = m_lines.takeFirst();
                if (line == ".") {
                    m_inData = true; // the block is complete
                    break;
                }
                message += line + "\r\n";
            }
            if (!m_inData)
                return;
            m_inData = false;
            break;
        case Step::Close:
            m_socket->disconnectFromHost();
            ++m_pos;
            return;
        }
        ++m_pos;
    }
}

void ScriptedSmtpServer::Dribble()
{
    if (!m_socket || m_dribble.isEmpty())
        return;
    m_socket->write(m_dribble.left(1));
    m_socket->flush();
    m_dribble.remove(0, 1);
    // A pause between bytes, so that they reach the client in separate reads.
    QTimer::singleShot(2, this, [this] {
        if (m_dribble.isEmpty())
            Run();
        else
            Dribble();
    });
}

} // namespace testsupport
