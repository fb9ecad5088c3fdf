#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace platform {

// How a connection is protected: not at all, upgraded by STARTTLS, or TLS from the first byte.
enum class Encryption { None, StartTls, Implicit };

// What the SMTP session needs of a TCP client socket. Events arrive on the UI thread.
class ITcpSocket : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Starts connecting and returns at once; failure comes as errorOccurred. With encryption the
    // server's certificate is checked against the system's certificates plus those in caFile.
    virtual void ConnectToHost(const QString& host, quint16 port, Encryption encryption = Encryption::None,
                               const QString& caFile = {}) = 0;
    // Queues the bytes and returns at once.
    virtual void Write(const QByteArray& bytes) = 0;
    virtual QByteArray ReadAll() = 0;
    // Sends what is still queued, then closes; no further events for this connection.
    virtual void Close() = 0;
    // Our end of the connection, for an address literal such as "[127.0.0.1]".
    virtual QString LocalAddressLiteral() const = 0;
    // STARTTLS: the handshake on a connection made with Encryption::StartTls.
    virtual void StartClientEncryption() = 0;
    // After sslErrors the handshake waits; this lets it go on despite them (the user trusts
    // this certificate). Closing instead ends it.
    virtual void ContinueDespiteSslErrors() = 0;

Q_SIGNALS:
    void readyRead();
    void errorOccurred(const QString& description);
    // The peer closed the connection (not raised for our own Close()).
    void disconnected();
    // The handshake is done and the certificate verified (or trusted).
    void encrypted();
    // The certificate failed verification; the handshake is paused until ContinueDespiteSslErrors()
    // or Close(). fingerprint: SHA-256 of the server's certificate, "AB:CD:...".
    void sslErrors(const QString& reasons, const QString& fingerprint);
};

} // namespace platform
