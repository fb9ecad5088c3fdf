#pragma once

#include "HttpClient.h"

#include <QNetworkAccessManager>
#include <QPointer>
#include <QStringDecoder>
#include <QTimer>

#include <memory>

class QNetworkReply;

namespace platform {

// IHttpClient over QNetworkAccessManager: one GET of "http://" + host + "/" + path at a
// time. Redirects are followed only within the same host, port and scheme, so a page always
// comes from the host RequestHost names. The body is decoded by the charset the response
// declares when Qt knows it, else as ISO-8859-1.
class QtHttpClient final : public IHttpClient {
    Q_OBJECT
public:
    // A request not ended after this long is aborted and counts as failed.
    static constexpr int kDefaultTimeoutMs = 30000;
    // Receiving stops once the body has passed this many characters; what arrived is kept.
    static constexpr qsizetype kDefaultBodyLimit = 100000 + 4096;

    // State codes of stateChanged.
    static constexpr int kStateError = 11;
    static constexpr int kStateResponseCompleted = 12;

    explicit QtHttpClient(int timeoutMs = kDefaultTimeoutMs, qsizetype bodyLimit = kDefaultBodyLimit,
                          QObject* parent = nullptr);
    ~QtHttpClient() override;

    bool IsExecuting() const override;
    void StartRequest(const QString& host, const QString& path) override;
    QString RequestHost() const override;
    QString ReadBody(int maxLength) override;
    void CancelRequest() override;

private:
    void OnReadyRead();
    void OnFinished(QNetworkReply* reply);
    void OnTimeout();
    void TakeArrived(QNetworkReply* reply);
    void Abandon();

    // Made on the first request: a user without automatic news never pays for it at start.
    std::unique_ptr<QNetworkAccessManager> m_manager;
    QPointer<QNetworkReply> m_reply;
    QTimer m_timeout;
    QStringDecoder m_decoder;
    QString m_host;
    QString m_body;          // the ended reply's text, read by ReadBody
    QByteArray m_bytes;      // the body's bytes while the reply runs
    QByteArray m_charset;    // as the response declared it; empty for none
    qsizetype m_received = 0; // characters decoded so far, for the limit
    qsizetype m_readPos = 0;
    qsizetype m_bodyLimit;
    bool m_executing = false;
    bool m_timedOut = false;
    bool m_truncated = false;
};

} // namespace platform
