#pragma once

#include "TcpSocket.h"

#include <QSslCertificate>
#include <QSslCipher>
#include <QSslConfiguration>
#include <QTcpSocket>

#include <memory>

class QSslSocket;

namespace platform {

// The suites offered: TLS 1.2 only with ECDHE/DHE key exchange and an AEAD cipher; TLS 1.3 as Qt has it.
QList<QSslCipher> StrictCiphers();
// With subjectAltNames present the host must be one of them (RFC 6125): a matching CN no longer
// counts. A "*" stands for the whole leftmost label only. Without any, true (Qt's check stands).
bool HostMatchesAltNames(const QSslCertificate& certificate, const QString& host);

// A QTcpSocket, or a QSslSocket only for encrypted connections: the TLS backend is loaded the
// first time one is made, so a plain setup never pays for it.
class QtTcpSocket final : public ITcpSocket {
    Q_OBJECT
public:
    explicit QtTcpSocket(QObject* parent = nullptr);
    ~QtTcpSocket() override;
    void ConnectToHost(const QString& host, quint16 port, Encryption encryption = Encryption::None,
                       const QString& caFile = {}) override;
    void Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override;
    void Close() override;
    QString LocalAddressLiteral() const override;
    void StartClientEncryption() override;
    void ContinueDespiteSslErrors() override;

private:
    void Replace(bool tls);
    void Encrypted(QSslSocket* ssl);

    std::unique_ptr<QTcpSocket> m_socket;
    // Built once per server and CaFile: parsing the file for every session would cost more than
    // the handshake. It carries the last session ticket, so the next session to the same
    // server resumes the verified TLS session instead of a full handshake.
    std::unique_ptr<QSslConfiguration> m_tlsConfiguration;
    QString m_tlsFor;
    bool m_tls = false;
    bool m_closing = false;
    QString m_peerName;
    bool m_errorsIgnored = false; // the user trusts this certificate: the name check is theirs
    bool m_namePending = false;   // encrypted, but the alt names failed: waits for the answer
};

} // namespace platform
