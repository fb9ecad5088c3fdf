#pragma once

#include "platform/TcpSocket.h"

#include <utility>

namespace testsupport {

// A socket whose peer is the test: Reply() plays server bytes, TakeWritten() shows what the
// client sent since the last call.
class FakeTcpSocket final : public platform::ITcpSocket {
    Q_OBJECT
public:
    void ConnectToHost(const QString& host, quint16 port, platform::Encryption encryption = platform::Encryption::None,
                       const QString& caFile = {}) override
    {
        connectedHost = host;
        connectedPort = port;
        connectedEncryption = encryption;
        connectedCaFile = caFile;
        ++connects;
    }
    void Write(const QByteArray& bytes) override { written += bytes; }
    QByteArray ReadAll() override { return std::exchange(m_incoming, {}); }
    void Close() override { ++closes; }
    QString LocalAddressLiteral() const override { return QStringLiteral("[127.0.0.1]"); }
    void StartClientEncryption() override { ++handshakes; }
    void ContinueDespiteSslErrors() override { ++continuedDespiteErrors; }

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
    QByteArray TakeWritten() { return std::exchange(written, {}); }

    QString connectedHost;
    quint16 connectedPort = 0;
    platform::Encryption connectedEncryption = platform::Encryption::None;
    QString connectedCaFile;
    int handshakes = 0;
    int continuedDespiteErrors = 0;
    int connects = 0;
    int closes = 0;
    QByteArray written;

private:
    QByteArray m_incoming;
};

} // namespace testsupport
