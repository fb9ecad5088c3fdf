#pragma once

#include "TcpSocket.h"

#include <QTcpSocket>

namespace platform {

class QtTcpSocket final : public ITcpSocket {
    Q_OBJECT
public:
    explicit QtTcpSocket(QObject* parent = nullptr);
    void ConnectToHost(const QString& host, quint16 port) override;
    void Write(const QByteArray& bytes) override;
    QByteArray ReadAll() override;
    void Close() override;

private:
    QTcpSocket m_socket;
    bool m_closing = false;
};

} // namespace platform
