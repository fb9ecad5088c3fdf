#pragma once

// Scripted peers on 127.0.0.1, played in-process by a QTcpServer: misbehaving page servers and
// the hooks that make them.

#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <functional>
#include <memory>

namespace testsupport {

// One scripted peer: onConnect runs when a client connects, onData whenever bytes arrive
// (the socket's whole input so far is in buffer; the script removes what it has consumed).
class ScriptedPeer : public QObject {
public:
    using Hook = std::function<void(QTcpSocket&, QByteArray& buffer)>;
    ScriptedPeer(Hook onConnect, Hook onData)
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this, onConnect, onData] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                // Held by the connection, which goes with the socket.
                auto buffer = std::make_shared<QByteArray>();
                connect(socket, &QTcpSocket::readyRead, socket, [socket, buffer, onData] {
                    *buffer += socket->readAll();
                    if (onData)
                        onData(*socket, *buffer);
                });
                if (onConnect)
                    onConnect(*socket, *buffer);
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    QString HostPort() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    QTcpServer m_server;
};

// Sends `bytes` one byte a second, for as long as the connection lasts.
inline void Trickle(QTcpSocket& socket, const QByteArray& bytes)
{
    auto* timer = new QTimer(&socket);
    QObject::connect(timer, &QTimer::timeout, &socket, [&socket, bytes, pos = qsizetype(0)]() mutable {
        if (pos < bytes.size())
            socket.write(bytes.mid(pos++, 1));
    });
    timer->start(1000);
}

// An HTTP page server: once the request (a GET, with no body) is whole, `respond` answers it.
inline ScriptedPeer::Hook AnswerHttp(const std::function<void(QTcpSocket&)>& respond)
{
    return [respond](QTcpSocket& s, QByteArray& buffer) {
        if (buffer.endsWith("\r\n\r\n"))
            respond(s);
    };
}

} // namespace testsupport
