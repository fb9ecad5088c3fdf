#include "QtHttpClient.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QUrl>

namespace platform {

namespace {

// The charset parameter of a Content-Type value, or empty.
QByteArray CharsetOf(const QByteArray& contentType)
{
    const QList<QByteArray> parts = contentType.split(';');
    for (qsizetype i = 1; i < parts.size(); ++i) {
        const QByteArray part = parts[i].trimmed();
        const qsizetype eq = part.indexOf('=');
        if (eq < 0 || part.left(eq).trimmed().toLower() != "charset")
            continue;
        QByteArray value = part.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith('"') && value.endsWith('"'))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return {};
}

// A decoder for the charset a response declared, ISO-8859-1 when none or one Qt does not know.
// A stateless one takes the end of its input as the end of the text: a character cut there
// becomes U+FFFD instead of waiting for bytes that will never come.
QStringDecoder DecoderFor(const QByteArray& charset, QStringConverter::Flags flags = QStringConverter::Flag::Default)
{
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData(), flags);
        if (decoder.isValid())
            return decoder;
    }
    return QStringDecoder(QStringConverter::Latin1, flags);
}

// A reply with an HTTP status is the server's answer, whatever the status: its body is processed
// like any page (Qt files 4xx and 5xx under many error codes, 407 even as a proxy error). Errors
// of the connection itself (refused, unknown host, cut mid-body) fail the request.
bool CameWithResponse(QNetworkReply* reply)
{
    if (reply->error() == QNetworkReply::NoError)
        return true;
    if (!reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).isValid())
        return false;
    return reply->error() > QNetworkReply::UnknownNetworkError;
}

// A host setting may carry "https://": the page then comes over TLS, its certificate verified by
// the system's authorities (a failure is a failed request). A bare host stays plain HTTP.
QUrl UrlFor(const QString& host, const QString& path)
{
    const QLatin1String https("https://");
    if (host.startsWith(https, Qt::CaseInsensitive))
        return QUrl(QStringLiteral("https://") + host.mid(https.size()) + QLatin1Char('/') + path);
    return QUrl(QStringLiteral("http://") + host + QLatin1Char('/') + path);
}

// Redirects stay on the origin of the page, except the one today's sites make: from http to
// https of the same host. Never to another host, never from https back to http.
bool RedirectAllowed(const QUrl& from, const QUrl& to)
{
    if (from.host().compare(to.host(), Qt::CaseInsensitive) != 0)
        return false;
    if (from.scheme() == to.scheme())
        return from.port() == to.port();
    return from.scheme() == QLatin1String("http") && to.scheme() == QLatin1String("https");
}

} // namespace

QtHttpClient::QtHttpClient(int timeoutMs, qsizetype bodyLimit, QObject* parent)
    : IHttpClient(parent), m_bodyLimit(bodyLimit)
{
    m_timeout.setSingleShot(true);
    m_timeout.setInterval(timeoutMs);
    connect(&m_timeout, &QTimer::timeout, this, &QtHttpClient::OnTimeout);
}

QtHttpClient::~QtHttpClient()
{
    Abandon();
}

bool QtHttpClient::IsExecuting() const
{
    return m_executing;
}

QString QtHttpClient::RequestHost() const
{
    return m_host;
}

void QtHttpClient::StartRequest(const QString& host, const QString& path)
{
    // One request at a time: a new one replaces a running one without a notification.
    Abandon();
    m_host = host;
    m_body.clear();
    m_bytes.clear();
    m_charset.clear();
    m_received = 0;
    m_readPos = 0;
    m_timedOut = false;
    m_truncated = false;
    m_decoder = DecoderFor(m_charset);
    m_executing = true;

    const QUrl url = UrlFor(host, path);
    QNetworkRequest request(url);
    if (!m_manager) {
        m_manager = std::make_unique<QNetworkAccessManager>();
        m_manager->setRedirectPolicy(QNetworkRequest::UserVerifiedRedirectPolicy);
    }
    QNetworkReply* reply = m_manager->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::redirected, this, [this, reply, at = url](const QUrl& to) mutable {
        if (reply != m_reply)
            return;
        if (RedirectAllowed(at, to)) {
            at = to;
            Q_EMIT reply->redirectAllowed();
        } else
            reply->abort(); // a failed request, as any page that cannot be had
    });
    // Bounded buffering: what arrives is drained at every readyRead anyway.
    reply->setReadBufferSize(64 * 1024);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        if (reply == m_reply) {
            m_charset = CharsetOf(reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
            m_decoder = DecoderFor(m_charset);
        }
    });
    connect(reply, &QIODevice::readyRead, this, &QtHttpClient::OnReadyRead);
    connect(reply, &QNetworkReply::finished, this, [this, reply] { OnFinished(reply); });
    m_timeout.start();
}

void QtHttpClient::TakeArrived(QNetworkReply* reply)
{
    if (m_truncated || m_timedOut)
        return;
    const QByteArray bytes = reply->readAll();
    if (!bytes.isEmpty()) {
        // Counted as they come, for the limit; the text itself is made once the reply has ended.
        m_bytes += bytes;
        m_received += QString(m_decoder.decode(bytes)).size();
    }
}

void QtHttpClient::OnReadyRead()
{
    QNetworkReply* reply = m_reply;
    if (reply == nullptr)
        return;
    TakeArrived(reply);
    if (m_received > m_bodyLimit) {
        // Enough for the page; an endless body must not fill the memory. The abort ends the
        // reply, and OnFinished keeps what arrived.
        m_truncated = true;
        reply->abort();
    }
}

void QtHttpClient::OnTimeout()
{
    if (m_reply == nullptr)
        return;
    m_timedOut = true;
    m_reply->abort();
}

void QtHttpClient::OnFinished(QNetworkReply* reply)
{
    reply->deleteLater();
    if (reply != m_reply)
        return;
    m_reply = nullptr;
    m_timeout.stop();

    bool ok;
    if (m_timedOut) {
        ok = false;
    } else if (m_truncated) {
        ok = true;
    } else {
        ok = CameWithResponse(reply);
        if (ok)
            TakeArrived(reply);
    }
    if (ok) {
        // Decoded whole, so that a character cut at the very end is not silently lost.
        m_body = DecoderFor(m_charset, QStringConverter::Flag::Stateless).decode(m_bytes);
        m_body.truncate(m_bodyLimit);
    }
    m_bytes.clear();
    m_executing = false;
    Q_EMIT stateChanged(ok ? kStateResponseCompleted : kStateError);
}

QString QtHttpClient::ReadBody(int maxLength)
{
    if (m_executing || maxLength <= 0 || m_readPos >= m_body.size())
        return {};
    const QString part = m_body.mid(m_readPos, maxLength);
    m_readPos += part.size();
    return part;
}

void QtHttpClient::Abandon()
{
    m_timeout.stop();
    QNetworkReply* reply = m_reply;
    m_reply = nullptr;
    m_executing = false;
    if (reply != nullptr) {
        // No notification: the program itself gave the request up.
        reply->disconnect(this);
        reply->abort();
        reply->deleteLater();
    }
}

void QtHttpClient::CancelRequest()
{
    Abandon();
    m_body.clear();
    m_bytes.clear();
    m_readPos = 0;
}

} // namespace platform
