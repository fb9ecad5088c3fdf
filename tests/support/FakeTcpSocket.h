#pragma once

#include "platform/TcpSocket.h"

#include <QByteArrayList>

#include <utility>

namespace testsupport {

// A socket whose peer is the test: Reply() plays server bytes, TakeWritten() shows what the
// client sent since the last call.
class FakeTcpSocket final : public platform::ITcpSocket {
    Q_OBJECT
public:
    void ConnectToHost(const QString&, quint16 port, platform::Encryption encryption = platform::Encryption::None,
                       const QString& = {}) override
    {
        connectedPort = port;
        connectedEncryption = encryption;
        ++connects;
    }
    void Write(const QByteArray& bytes) override { written += bytes; }
    QByteArray ReadAll() override { return std::exchange(m_incoming, {}); }
    void Close() override { ++closes; }
    QString LocalAddressLiteral() const override { return QStringLiteral("[127.0.0.1]"); }
    void StartClientEncryption() override { ++handshakes; }
    void ContinueDespiteSslErrors() override {}

    void Reply(const QByteArray& bytes)
    {
        m_incoming += bytes;
        Q_EMIT readyRead();
    }
    void Fail(const QString& description) { Q_EMIT errorOccurred(description); }
    void PeerClose() { Q_EMIT disconnected(); }
    // The handshake's outcome, as the test decides it.
    void Encrypt() { Q_EMIT encrypted(); }
    void CertificateFails(const QString& reasons, const QString& fingerprint) { Q_EMIT sslErrors(reasons, fingerprint); }
    // Each in turn: "" ends the handshake, "!x" is the socket error x, anything else is a reply.
    void Play(const QByteArrayList& events)
    {
        for (const QByteArray& e : events)
            e.isEmpty() ? Encrypt() : e.startsWith('!') ? Fail(QString::fromUtf8(e.mid(1))) : Reply(e);
    }
    QByteArray TakeWritten() { return std::exchange(written, {}); }

    quint16 connectedPort = 0;
    platform::Encryption connectedEncryption = platform::Encryption::None;
    int handshakes = 0, connects = 0, closes = 0;
    QByteArray written;

private:
    QByteArray m_incoming;
};

} // namespace testsupport
