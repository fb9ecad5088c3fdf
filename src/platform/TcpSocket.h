#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace platform {

// What the SMTP session needs of a TCP client socket. Events arrive on the UI thread.
class ITcpSocket : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Starts connecting and returns at once; failure comes as errorOccurred.
    virtual void ConnectToHost(const QString& host, quint16 port) = 0;
    // Queues the bytes and returns at once.
    virtual void Write(const QByteArray& bytes) = 0;
    virtual QByteArray ReadAll() = 0;
    // Sends what is still queued, then closes; no further events for this connection.
    virtual void Close() = 0;

Q_SIGNALS:
    void readyRead();
    void errorOccurred(const QString& description);
    // The peer closed the connection (not raised for our own Close()).
    void disconnected();
};

} // namespace platform
