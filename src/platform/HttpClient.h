#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

namespace platform {

// What the news fetcher needs of an HTTP client: one asynchronous GET at a time.
class IHttpClient : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // True from StartRequest until the request has ended, successfully or not.
    virtual bool IsExecuting() const = 0;
    // GET of "http://" + host + "/" + path, or of host + "/" + path for a host that begins with
    // "https://"; returns at once.
    virtual void StartRequest(const QString& host, const QString& path) = 0;
    // The host given to the last StartRequest, exactly as given.
    virtual QString RequestHost() const = 0;
    // The next unread part of the ended request's body, at most maxLength characters;
    // empty when nothing (more) is available, also after a failed request.
    virtual QString ReadBody(int maxLength) = 0;
    virtual void CancelRequest() = 0;

Q_SIGNALS:
    // Raised whenever the request's state changes, at least once after it has ended.
    void stateChanged(int state);
};

} // namespace platform

namespace platform {

// What the provider lookup needs: GETs of whole https:// addresses, several at once, each
// answered by one finished(). Only a 200 answer within the size limit counts; a certificate
// that fails verification, a redirect to plain http or a bigger body fails the request.
class ISecureHttpClient : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Starts a GET and returns; finished() names the request by the caller's tag.
    virtual void Get(int tag, const QUrl& url) = 0;
    // Drops every running request without a notification.
    virtual void CancelAll() = 0;

Q_SIGNALS:
    void finished(int tag, bool ok, const QByteArray& body);
};

} // namespace platform
