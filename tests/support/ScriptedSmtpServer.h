#pragma once

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>

namespace testsupport {

// An SMTP peer on 127.0.0.1 that plays a list of replies: the first when a client connects,
// then one per client command (the DATA block up to its final "." counts as one command).
// An empty reply closes the connection; a "421" reply closes it right after it is sent, as
// servers do; when the list runs out the server stays silent with the connection open.
// Every new connection plays the list from its start.
class ScriptedSmtpServer {
public:
    QList<QByteArray> replies = GoodReplies();
    QByteArray received;     // what the client sent on the latest connection
    bool clientClosed = false;

    static QList<QByteArray> GoodReplies()
    {
        return {"220 ready\r\n", "250 hello\r\n", "250 sender ok\r\n", "250 recipient ok\r\n", "354 go ahead\r\n",
                "250 queued\r\n"};
    }

    ScriptedSmtpServer()
    {
        m_server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&m_server, &QTcpServer::newConnection, &m_server, [this] {
            QTcpSocket* socket = m_socket = m_server.nextPendingConnection();
            received = m_unread = QByteArray();
            clientClosed = m_inData = false;
            m_next = 0;
            QObject::connect(socket, &QTcpSocket::readyRead, &m_server, [this, socket] {
                if (socket == m_socket)
                    Read();
            });
            QObject::connect(socket, &QTcpSocket::disconnected, &m_server, [this, socket] {
                clientClosed = clientClosed || socket == m_socket;
            });
            Answer();
        });
    }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }

private:
    void Read()
    {
        const QByteArray bytes = m_socket->readAll();
        received += bytes;
        m_unread += bytes;
        for (;;) {
            const QByteArray end = m_inData ? "\r\n.\r\n" : "\r\n";
            const qsizetype at = m_unread.indexOf(end);
            if (at < 0)
                return;
            m_inData = !m_inData && m_unread.left(at) == "DATA";
            m_unread.remove(0, at + end.size());
            Answer();
        }
    }
    void Answer()
    {
        if (m_next >= replies.size() || !m_socket)
            return;
        const QByteArray reply = replies.at(m_next++);
        m_socket->write(reply);
        if (reply.isEmpty() || reply.startsWith("421"))
            m_socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    QByteArray m_unread;
    qsizetype m_next = 0;
    bool m_inData = false;
};

} // namespace testsupport
