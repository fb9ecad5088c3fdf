#pragma once

#include <QObject>
#include <QString>

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
