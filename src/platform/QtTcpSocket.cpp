#include "QtTcpSocket.h"

namespace platform {

QtTcpSocket::QtTcpSocket(QObject* parent) : ITcpSocket(parent)
{
    connect(&m_socket, &QTcpSocket::readyRead, this, [this] {
        if (!m_closing)
            Q_EMIT readyRead();
    });
    connect(&m_socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (!m_closing)
            Q_EMIT errorOccurred(m_socket.errorString());
    });
    connect(&m_socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_closing)
            Q_EMIT disconnected();
    });
}

void QtTcpSocket::ConnectToHost(const QString& host, quint16 port)
{
    // One socket serves every session: drop whatever the last one left behind.
    m_socket.abort();
    m_closing = false;
    m_socket.connectToHost(host, port);
}

void QtTcpSocket::Write(const QByteArray& bytes)
{
    m_socket.write(bytes);
}

QByteArray QtTcpSocket::ReadAll()
{
    return m_socket.readAll();
}

void QtTcpSocket::Close()
{
    // close() flushes what is queued (QUIT must reach the server) before the socket shuts.
    m_closing = true;
    m_socket.flush();
    m_socket.close();
}

} // namespace platform
