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

QStringDecoder DecoderFor(const QByteArray& contentType)
{
    const QByteArray charset = CharsetOf(contentType);
    if (!charset.isEmpty()) {
        QStringDecoder decoder(charset.constData());
        if (decoder.isValid())
            return decoder;
    }
    return QStringDecoder(QStringConverter::Latin1);
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

} // namespace

QtHttpClient::QtHttpClient(int timeoutMs, qsizetype bodyLimit, QObject* parent)
    : IHttpClient(parent), m_bodyLimit(bodyLimit)
{
    m_manager.setRedirectPolicy(QNetworkRequest::SameOriginRedirectPolicy);
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
    m_readPos = 0;
    m_timedOut = false;
    m_truncated = false;
    m_decoder = QStringDecoder(QStringConverter::Latin1);
    m_executing = true;

    QNetworkRequest request(QUrl(QStringLiteral("http://") + host + QLatin1Char('/') + path));
    QNetworkReply* reply = m_manager.get(request);
    m_reply = reply;
    // Bounded buffering: what arrives is drained at every readyRead anyway.
    reply->setReadBufferSize(64 * 1024);
    connect(reply, &QNetworkReply::metaDataChanged, this, [this, reply] {
        if (reply == m_reply)
            m_decoder = DecoderFor(reply->header(QNetworkRequest::ContentTypeHeader).toByteArray());
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
    if (!bytes.isEmpty())
        m_body += m_decoder.decode(bytes);
}

void QtHttpClient::OnReadyRead()
{
    QNetworkReply* reply = m_reply;
    if (reply == nullptr)
        return;
    TakeArrived(reply);
    if (m_body.size() > m_bodyLimit) {
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
    if (!ok)
        m_body.clear();
    else
        m_body.truncate(m_bodyLimit);
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
    m_readPos = 0;
}

} // namespace platform
