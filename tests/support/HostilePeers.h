#pragma once

// Misbehaving SMTP and HTTP peers on 127.0.0.1, played in-process by a QTcpServer, and one
// well-behaved SMTP peer and page server to show that the next message and page still go.

#include <QElapsedTimer>
#include <QFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>

namespace testsupport {

// One scripted peer: onConnect runs when a client connects, onData whenever bytes arrive
// (the socket's whole input so far is in buffer; the script removes what it has consumed).
class ScriptedPeer : public QObject {
public:
    using Hook = std::function<void(QTcpSocket&, QByteArray& buffer)>;
    ScriptedPeer(Hook onConnect, Hook onData) : m_onConnect(std::move(onConnect)), m_onData(std::move(onData))
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                ++connections;
                auto* buffer = new QByteArray;
                // The socket as context: the peer's own connections are gone before its children die.
                connect(socket, &QObject::destroyed, socket, [buffer] { delete buffer; });
                connect(socket, &QTcpSocket::readyRead, this, [this, socket, buffer] {
                    *buffer += socket->readAll();
                    received += buffer->size();
                    if (m_onData)
                        m_onData(*socket, *buffer);
                });
                if (m_onConnect)
                    m_onConnect(*socket, *buffer);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    quint16 Port() const { return m_server.serverPort(); }
    QString HostPort() const { return QStringLiteral("127.0.0.1:%1").arg(Port()); }

    int connections = 0;
    qint64 received = 0;

private:
    QTcpServer m_server;
    Hook m_onConnect;
    Hook m_onData;
};

// Writes `total` bytes of `fill` as the client drains them, so the peer never holds more than
// a few chunks in memory itself; then runs `done`.
inline void Stream(QTcpSocket& socket, qint64 total, char fill, std::function<void()> done = {})
{
    auto left = std::make_shared<qint64>(total);
    auto more = [&socket, left, fill, done] {
        while (*left > 0 && socket.bytesToWrite() < 64 * 1024) {
            const qint64 n = qMin<qint64>(*left, 16 * 1024);
            socket.write(QByteArray(n, fill));
            *left -= n;
        }
        if (*left == 0) {
            *left = -1;
            if (done)
                done();
        }
    };
    QObject::connect(&socket, &QTcpSocket::bytesWritten, &socket, more);
    more();
}

// Sends `bytes` one byte a second, for as long as the connection lasts.
inline void Trickle(QTcpSocket& socket, const QByteArray& bytes)
{
    auto* timer = new QTimer(&socket);
    auto pos = std::make_shared<qsizetype>(0);
    QObject::connect(timer, &QTimer::timeout, &socket, [&socket, timer, bytes, pos] {
        if (*pos < bytes.size())
            socket.write(bytes.mid((*pos)++, 1));
        else
            timer->stop();
    });
    timer->start(1000);
}

// A well-behaved SMTP dialogue: greeting on connect, 250 to each command, 354 to DATA, 250 to
// the final dot, 221 to QUIT and close. `afterQuit` is sent after the 221, and the peer then
// keeps the connection open. Each message's content (DATA to the dot) lands in `messages`.
struct SmtpScript {
    QByteArray greeting = "220 hostile.test ready\r\n";
    QByteArray afterQuit;
    QList<QByteArray> messages;

    ScriptedPeer::Hook OnConnect()
    {
        return [this](QTcpSocket& s, QByteArray&) { s.write(greeting); };
    }
    ScriptedPeer::Hook OnData()
    {
        return [this](QTcpSocket& s, QByteArray& buffer) {
            for (;;) {
                const bool inData = s.property("inData").toBool();
                if (inData) {
                    const qsizetype end = buffer.startsWith(".\r\n") ? 0 : buffer.indexOf("\r\n.\r\n");
                    if (end < 0)
                        return;
                    messages.append(end == 0 ? QByteArray() : buffer.left(end + 2));
                    buffer.remove(0, end == 0 ? 3 : end + 5);
                    s.setProperty("inData", false);
                    s.write("250 queued\r\n");
                    continue;
                }
                const qsizetype lf = buffer.indexOf("\r\n");
                if (lf < 0)
                    return;
                const QByteArray command = buffer.left(lf).toUpper();
                buffer.remove(0, lf + 2);
                if (command == "DATA") {
                    s.setProperty("inData", true);
                    s.write("354 go on\r\n");
                } else if (command == "QUIT") {
                    s.write("221 bye\r\n" + afterQuit);
                    if (afterQuit.isEmpty())
                        s.disconnectFromHost();
                    return;
                } else {
                    s.write("250 ok\r\n");
                }
            }
        };
    }
};

// An HTTP/1.0 page server: answers every request with `response` and closes.
inline ScriptedPeer::Hook AnswerHttp(const std::function<void(QTcpSocket&)>& respond)
{
    return [respond](QTcpSocket& s, QByteArray& buffer) {
        if (!buffer.contains("\r\n\r\n") || s.property("answered").toBool())
            return;
        s.setProperty("answered", true);
        respond(s);
    };
}

// Resident and peak memory of this process in KiB (VmRSS, VmHWM); ResetPeak makes the
// peak start again from the current size where the kernel allows it.
struct Memory {
    static qint64 Field(const char* name)
    {
        QFile status(QStringLiteral("/proc/self/status"));
        if (!status.open(QIODevice::ReadOnly))
            return -1;
        for (const QByteArray& line : status.readAll().split('\n'))
            if (line.startsWith(name))
                return line.mid(qstrlen(name)).trimmed().split(' ').value(0).toLongLong();
        return -1;
    }
    static qint64 RssKb() { return Field("VmRSS:"); }
    static qint64 PeakKb() { return Field("VmHWM:"); }
    static bool ResetPeak()
    {
        QFile clear(QStringLiteral("/proc/self/clear_refs"));
        return clear.open(QIODevice::WriteOnly) && clear.write("5") == 1;
    }
};

} // namespace testsupport
