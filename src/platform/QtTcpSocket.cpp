#include "QtTcpSocket.h"

#include <QCryptographicHash>
#include <QSslConfiguration>
#include <QSslSocket>

namespace platform {

QtTcpSocket::QtTcpSocket(QObject* parent) : ITcpSocket(parent) {}

QtTcpSocket::~QtTcpSocket() = default;

void QtTcpSocket::Replace(bool tls)
{
    if (m_socket && m_tls == tls)
        return;
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket.release()->deleteLater();
    }
    m_tls = tls;
    m_socket.reset(tls ? new QSslSocket : new QTcpSocket);
    QTcpSocket* socket = m_socket.get();
    connect(socket, &QTcpSocket::readyRead, this, [this] {
        if (!m_closing)
            Q_EMIT readyRead();
    });
    connect(socket, &QTcpSocket::errorOccurred, this, [this](QAbstractSocket::SocketError) {
        if (!m_closing)
            Q_EMIT errorOccurred(m_socket->errorString());
    });
    connect(socket, &QTcpSocket::disconnected, this, [this] {
        if (!m_closing)
            Q_EMIT disconnected();
    });
    if (auto* ssl = qobject_cast<QSslSocket*>(socket)) {
        connect(ssl, &QSslSocket::encrypted, this, [this] {
            if (!m_closing)
                Q_EMIT encrypted();
        });
        connect(ssl, &QSslSocket::sslErrors, this, [this, ssl](const QList<QSslError>& errors) {
            if (m_closing)
                return;
            QStringList reasons;
            for (const QSslError& error : errors)
                reasons.append(error.errorString());
            const QByteArray digest = ssl->peerCertificate().digest(QCryptographicHash::Sha256);
            Q_EMIT sslErrors(reasons.join(QStringLiteral("; ")), QString::fromLatin1(digest.toHex(':').toUpper()));
        });
    }
}

void QtTcpSocket::ConnectToHost(const QString& host, quint16 port, Encryption encryption, const QString& caFile)
{
    // One socket serves every session: drop whatever the last one left behind.
    if (m_socket)
        m_socket->abort();
    Replace(encryption != Encryption::None);
    m_closing = false;
    auto* ssl = qobject_cast<QSslSocket*>(m_socket.get());
    if (!ssl) {
        m_socket->connectToHost(host, port);
        return;
    }
    const QString tlsFor = host + QLatin1Char(' ') + QString::number(port) + QLatin1Char(' ') + caFile;
    if (!m_tlsConfiguration || m_tlsFor != tlsFor) {
        m_tlsConfiguration = std::make_unique<QSslConfiguration>(QSslConfiguration::defaultConfiguration());
        if (!caFile.isEmpty())
            m_tlsConfiguration->addCaCertificates(caFile, QSsl::Pem);
        m_tlsConfiguration->setSslOption(QSsl::SslOptionDisableSessionPersistence, false);
        m_tlsFor = tlsFor;
    }
    ssl->setSslConfiguration(*m_tlsConfiguration);
    ssl->setPeerVerifyName(host);
    // The user may be asked whether to trust the certificate: the handshake waits meanwhile.
    ssl->setPauseMode(QAbstractSocket::PauseOnSslErrors);
    if (encryption == Encryption::Implicit)
        ssl->connectToHostEncrypted(host, port);
    else
        ssl->connectToHost(host, port);
}

void QtTcpSocket::Write(const QByteArray& bytes)
{
    if (m_socket)
        m_socket->write(bytes);
}

QByteArray QtTcpSocket::ReadAll()
{
    return m_socket ? m_socket->readAll() : QByteArray();
}

void QtTcpSocket::Close()
{
    if (!m_socket)
        return;
    // close() flushes what is queued (QUIT must reach the server) before the socket shuts.
    m_closing = true;
    auto* ssl = qobject_cast<QSslSocket*>(m_socket.get());
    if (ssl && ssl->isEncrypted() && m_tlsConfiguration) {
        const QByteArray ticket = ssl->sslConfiguration().sessionTicket();
        if (!ticket.isEmpty())
            m_tlsConfiguration->setSessionTicket(ticket);
    }
    m_socket->flush();
    m_socket->close();
}

QString QtTcpSocket::LocalAddressLiteral() const
{
    if (!m_socket)
        return QStringLiteral("[127.0.0.1]");
    const QHostAddress address = m_socket->localAddress();
    if (address.protocol() == QAbstractSocket::IPv6Protocol) {
        bool isV4 = false;
        const quint32 v4 = address.toIPv4Address(&isV4);
        if (isV4)
            return QLatin1Char('[') + QHostAddress(v4).toString() + QLatin1Char(']');
        QHostAddress bare(address);
        bare.setScopeId(QString());
        return QStringLiteral("[IPv6:") + bare.toString() + QLatin1Char(']');
    }
    return QLatin1Char('[') + address.toString() + QLatin1Char(']');
}

void QtTcpSocket::StartClientEncryption()
{
    if (auto* ssl = qobject_cast<QSslSocket*>(m_socket.get()))
        ssl->startClientEncryption();
}

void QtTcpSocket::ContinueDespiteSslErrors()
{
    if (auto* ssl = qobject_cast<QSslSocket*>(m_socket.get())) {
        ssl->ignoreSslErrors();
        ssl->resume();
    }
}

} // namespace platform
