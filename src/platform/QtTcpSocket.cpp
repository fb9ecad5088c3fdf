#include "QtTcpSocket.h"

#include <QCryptographicHash>
#include <QSslConfiguration>
#include <QSslSocket>

namespace platform {

QList<QSslCipher> StrictCiphers()
{
    QList<QSslCipher> strict;
    for (const QSslCipher& cipher : QSslConfiguration::supportedCiphers()) {
        const QString name = cipher.name();
        if (cipher.protocol() == QSsl::TlsV1_3 || name.startsWith(QLatin1String("TLS_"))) {
            strict.append(cipher); // TLS 1.3: every suite has forward secrecy and AEAD
            continue;
        }
        const bool forwardSecret = name.startsWith(QLatin1String("ECDHE-")) || name.startsWith(QLatin1String("DHE-"));
        const bool aead = name.contains(QLatin1String("-GCM-")) || name.contains(QLatin1String("CHACHA20-POLY1305"));
        if (forwardSecret && aead)
            strict.append(cipher);
    }
    return strict;
}

bool HostMatchesAltNames(const QSslCertificate& certificate, const QString& host)
{
    const auto names = certificate.subjectAlternativeNames();
    if (names.isEmpty())
        return true;
    const QHostAddress address(host);
    if (!address.isNull()) {
        for (const QString& ip : names.values(QSsl::IpAddressEntry))
            if (QHostAddress(ip) == address)
                return true;
        return false;
    }
    const QString wanted = host.toLower().chopped(host.endsWith(QLatin1Char('.')) ? 1 : 0);
    for (QString name : names.values(QSsl::DnsEntry)) {
        name = name.toLower();
        if (name == wanted)
            return true;
        // "*.example.org" is any one label before example.org, never more and never none.
        const qsizetype dot = wanted.indexOf(QLatin1Char('.'));
        if (name.startsWith(QLatin1String("*.")) && dot > 0 && name.count(QLatin1Char('.')) >= 2
            && QStringView(name).mid(1) == QStringView(wanted).mid(dot))
            return true;
    }
    return false;
}

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
        if (!m_closing && !m_namePending)
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
        connect(ssl, &QSslSocket::encrypted, this, [this, ssl] {
            if (!m_closing)
                Encrypted(ssl);
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

void QtTcpSocket::Encrypted(QSslSocket* ssl)
{
    // Qt 6.4 also takes a matching CN when the alt names list other hosts: checked here, after
    // Qt's own verification, and asked about like any other fault of the certificate.
    if (!m_errorsIgnored && !HostMatchesAltNames(ssl->peerCertificate(), m_peerName)) {
        m_namePending = true;
        const QByteArray digest = ssl->peerCertificate().digest(QCryptographicHash::Sha256);
        Q_EMIT sslErrors(QSslError(QSslError::HostNameMismatch, ssl->peerCertificate()).errorString(),
                         QString::fromLatin1(digest.toHex(':').toUpper()));
        return;
    }
    Q_EMIT encrypted();
}

void QtTcpSocket::ConnectToHost(const QString& host, quint16 port, Encryption encryption, const QString& caFile)
{
    // One socket serves every session: drop whatever the last one left behind.
    if (m_socket)
        m_socket->abort();
    Replace(encryption != Encryption::None);
    m_closing = false;
    m_peerName = host;
    m_errorsIgnored = false;
    m_namePending = false;
    auto* ssl = qobject_cast<QSslSocket*>(m_socket.get());
    if (!ssl) {
        m_socket->connectToHost(host, port);
        return;
    }
    const QString tlsFor = host + QLatin1Char(' ') + QString::number(port) + QLatin1Char(' ') + caFile;
    if (!m_tlsConfiguration || m_tlsFor != tlsFor) {
        m_tlsConfiguration = std::make_unique<QSslConfiguration>(QSslConfiguration::defaultConfiguration());
        // As a careful mail client: TLS 1.2 only with forward secrecy and AEAD, TLS 1.3 as offered.
        m_tlsConfiguration->setProtocol(QSsl::TlsV1_2OrLater);
        m_tlsConfiguration->setCiphers(StrictCiphers());
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
    auto* ssl = qobject_cast<QSslSocket*>(m_socket.get());
    if (!ssl)
        return;
    m_errorsIgnored = true;
    if (m_namePending) {
        // The handshake is over: what the server sent meanwhile waits in the socket.
        m_namePending = false;
        QMetaObject::invokeMethod(this, [this, ssl] {
            if (m_closing || m_socket.get() != ssl)
                return;
            Q_EMIT encrypted();
            if (ssl->bytesAvailable() > 0)
                Q_EMIT readyRead();
        }, Qt::QueuedConnection);
        return;
    }
    ssl->ignoreSslErrors();
    ssl->resume();
}

} // namespace platform
