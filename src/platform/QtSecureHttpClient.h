#pragma once

#include "HttpClient.h"

#include <QList>
#include <QPointer>
#include <QSslConfiguration>

#include <memory>

class QNetworkAccessManager;
class QNetworkReply;

namespace platform {

// ISecureHttpClient over QNetworkAccessManager. The certificate is checked against the system's
// certificates plus those in caFile; redirects are followed only to https, at most three.
class QtSecureHttpClient final : public ISecureHttpClient {
    Q_OBJECT
public:
    static constexpr qsizetype kDefaultBodyLimit = 64 * 1024;
    static constexpr int kDefaultTimeoutMs = 10000;

    explicit QtSecureHttpClient(const QString& caFile = {}, qsizetype bodyLimit = kDefaultBodyLimit,
                                int timeoutMs = kDefaultTimeoutMs, QObject* parent = nullptr);
    ~QtSecureHttpClient() override;

    void Get(int tag, const QUrl& url) override;
    void CancelAll() override;

private:
    void Finish(QNetworkReply* reply, int tag, bool ok, const QByteArray& body);

    // Made on the first request: nothing of the network is touched until the user asks.
    std::unique_ptr<QNetworkAccessManager> m_manager;
    QSslConfiguration m_tls;
    QList<QPointer<QNetworkReply>> m_running;
    qsizetype m_bodyLimit;
    int m_timeoutMs;
};

} // namespace platform
