#include "QtSecureHttpClient.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>

#include <utility>

namespace platform {

QtSecureHttpClient::QtSecureHttpClient(const QString& caFile, qsizetype bodyLimit, int timeoutMs, QObject* parent)
    : ISecureHttpClient(parent), m_tls(QSslConfiguration::defaultConfiguration()), m_bodyLimit(bodyLimit),
      m_timeoutMs(timeoutMs)
{
    if (!caFile.isEmpty())
        m_tls.addCaCertificates(caFile, QSsl::Pem);
}

QtSecureHttpClient::~QtSecureHttpClient()
{
    CancelAll();
}

void QtSecureHttpClient::Get(int tag, const QUrl& url)
{
    if (url.scheme() != QLatin1String("https") || url.host().isEmpty()) {
        // Only encrypted and verified sources count; the refusal still comes as an answer.
        QTimer::singleShot(0, this, [this, tag] { Q_EMIT finished(tag, false, {}); });
        return;
    }
    if (!m_manager)
        m_manager = std::make_unique<QNetworkAccessManager>();
    QNetworkRequest request(url);
    request.setSslConfiguration(m_tls);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setMaximumRedirectsAllowed(3);
    request.setTransferTimeout(m_timeoutMs);
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    QNetworkReply* reply = m_manager->get(request);
    m_running.append(reply);
    reply->setReadBufferSize(m_bodyLimit + 1);
    auto body = std::make_shared<QByteArray>();
    connect(reply, &QIODevice::readyRead, this, [this, reply, tag, body] {
        *body += reply->readAll();
        if (body->size() > m_bodyLimit)
            Finish(reply, tag, false, {});
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, tag, body] {
        *body += reply->readAll();
        const bool ok = reply->error() == QNetworkReply::NoError
                        && reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 200
                        && reply->url().scheme() == QLatin1String("https") && body->size() <= m_bodyLimit;
        Finish(reply, tag, ok, ok ? *body : QByteArray());
    });
}

void QtSecureHttpClient::Finish(QNetworkReply* reply, int tag, bool ok, const QByteArray& body)
{
    m_running.removeAll(reply);
    reply->disconnect(this);
    reply->abort();
    reply->deleteLater();
    Q_EMIT finished(tag, ok, body);
}

void QtSecureHttpClient::CancelAll()
{
    const auto running = std::exchange(m_running, {});
    for (const QPointer<QNetworkReply>& reply : running) {
        if (reply) {
            reply->disconnect(this);
            reply->abort();
            reply->deleteLater();
        }
    }
}

} // namespace platform
