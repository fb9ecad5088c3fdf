#pragma once

#include "platform/HttpClient.h"

#include <QList>

namespace testsupport {

// An HTTP client that ends its request only when the test says so.
class FakeHttpClient final : public platform::IHttpClient {
    Q_OBJECT
public:
    struct Request { QString host, path; };

    bool IsExecuting() const override { return m_executing; }
    void StartRequest(const QString& host, const QString& path) override
    {
        requests.append({host, path});
        m_executing = true;
        m_body.clear();
    }
    QString RequestHost() const override { return requests.isEmpty() ? QString() : requests.last().host; }
    QString ReadBody(int maxLength) override
    {
        ++reads;
        if (m_executing || m_readPos >= m_body.size())
            return {};
        const QString part = m_body.mid(m_readPos, maxLength);
        m_readPos += part.size();
        return part;
    }
    void CancelRequest() override { m_executing = false; }

    // Ends the running request with this body (empty: a failed request) and notifies.
    void Finish(const QString& body)
    {
        m_executing = false;
        m_body = body;
        m_readPos = 0;
        Q_EMIT stateChanged(12);
    }
    void Fail() { Finish(QString()); }

    QList<Request> requests;
    int reads = 0;

private:
    QString m_body;
    qsizetype m_readPos = 0;
    bool m_executing = false;
};

} // namespace testsupport
