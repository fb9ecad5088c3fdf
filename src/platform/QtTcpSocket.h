#pragma once

#include "TcpSocket.h"

#include <QSslConfiguration>
#include <QTcpSocket>

#include <memory>

namespace platform {

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

    std::unique_ptr<QTcpSocket> m_socket;
    // Built once per server and CaFile: parsing the file for every session would cost more than
    // the handshake. It carries the last session ticket, so the next session to the same
    // server resumes the verified TLS session instead of a full handshake.
    std::unique_ptr<QSslConfiguration> m_tlsConfiguration;
    QString m_tlsFor;
    bool m_tls = false;
    bool m_closing = false;
};

} // namespace platform
