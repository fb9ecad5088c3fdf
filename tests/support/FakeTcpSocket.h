#pragma once

#include "platform/TcpSocket.h"

#include <QList>

namespace testsupport {

// A socket whose peer is the test: Reply() plays a server reply, Written() shows what the
// client sent (Trojitá-style fakeReading / writtenStuff).
class FakeTcpSocket final : public platform::ITcpSocket {
    Q_OBJECT
public:
    void ConnectToHost(const QString& host, quint16 port) override
    {
        connectedHost = host;
        connectedPort = port;
        open = true;
        ++connects;
    }
    void Write(const QByteArray& bytes) override
    {
        written += bytes;
        writes.append(bytes);
    }
    QByteArray ReadAll() override
    {
        QByteArray out;
        out.swap(m_incoming);
        return out;
    }
    void Close() override
    {
        open = false;
        ++closes;
    }

    // The server sends bytes: they become readable and readyRead is raised.
    void Reply(const QByteArray& bytes)
    {
        m_incoming += bytes;
        Q_EMIT readyRead();
    }
    void Fail(const QString& description) { Q_EMIT errorOccurred(description); }
    void PeerClose()
    {
        open = false;
        Q_EMIT disconnected();
    }
    // What the client sent since the last call.
    QByteArray TakeWritten()
    {
        QByteArray out;
        out.swap(written);
        return out;
    }

    QString connectedHost;
    quint16 connectedPort = 0;
    bool open = false;
    int connects = 0;
    int closes = 0;
    QByteArray written;
    QList<QByteArray> writes;

private:
    QByteArray m_incoming;
};

} // namespace testsupport
