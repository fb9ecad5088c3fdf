#pragma once

#include "platform/TcpSocket.h"

#include <utility>

namespace testsupport {

// A socket whose peer is the test: Reply() plays server bytes, TakeWritten() shows what the
// client sent since the last call.
class FakeTcpSocket final : public platform::ITcpSocket {
    Q_OBJECT
public:
    void ConnectToHost(const QString& host, quint16 port) override
    {
        connectedHost = host;
        connectedPort = port;
        ++connects;
    }
    void Write(const QByteArray& bytes) override { written += bytes; }
    QByteArray ReadAll() override { return std::exchange(m_incoming, {}); }
    void Close() override { ++closes; }

    void Reply(const QByteArray& bytes)
    {
        m_incoming += bytes;
        Q_EMIT readyRead();
    }
    void Fail(const QString& description) { Q_EMIT errorOccurred(description); }
    void PeerClose() { Q_EMIT disconnected(); }
    QByteArray TakeWritten() { return std::exchange(written, {}); }

    QString connectedHost;
    quint16 connectedPort = 0;
    int connects = 0;
    int closes = 0;
    QByteArray written;

private:
    QByteArray m_incoming;
};

} // namespace testsupport
