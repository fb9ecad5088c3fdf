#pragma once

#include "platform/DnsResolver.h"
#include "platform/HttpClient.h"

#include <QHash>
#include <QList>
#include <QUrl>

namespace testsupport {

// HTTPS requests that end only when the test answers them.
class FakeSecureHttpClient final : public platform::ISecureHttpClient {
    Q_OBJECT
public:
    void Get(int tag, const QUrl& url) override { running.insert(url.toString(), tag), asked.append(url.toString()); }
    void CancelAll() override { running.clear(); }
    // Ends the request for this address (a null body: failed); false when none runs.
    bool Answer(const QString& url, const QByteArray& body)
    {
        if (!running.contains(url))
            return false;
        Q_EMIT finished(running.take(url), !body.isNull(), body);
        return true;
    }
    QHash<QString, int> running;
    QStringList asked;
};

// DNS queries that end only when the test answers them.
class FakeDnsResolver final : public platform::IDnsResolver {
    Q_OBJECT
public:
    void Lookup(int tag, Type type, const QString& name) override
    {
        const QString key = (type == Type::Srv ? QStringLiteral("SRV ") : QStringLiteral("MX ")) + name;
        running.insert(key, tag), asked.append(key);
    }
    void CancelAll() override { running.clear(); }
    // key: "SRV _submission._tcp.example.it" or "MX example.it".
    bool Answer(const QString& key, const QList<platform::DnsRecord>& records)
    {
        if (!running.contains(key))
            return false;
        Q_EMIT finished(running.take(key), records);
        return true;
    }
    // Ends every query still running without records.
    void AnswerRest()
    {
        for (const QString& key : running.keys())
            Answer(key, {});
    }
    QHash<QString, int> running;
    QStringList asked;
};

} // namespace testsupport
