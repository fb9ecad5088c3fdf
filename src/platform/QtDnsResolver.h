#pragma once

#include "DnsResolver.h"

#include <QHostAddress>
#include <QList>
#include <QPointer>

class QDnsLookup;

namespace platform {

// IDnsResolver over QDnsLookup and the system's resolver.
class QtDnsResolver final : public IDnsResolver {
    Q_OBJECT
public:
    // nameserver: the server to ask instead of the system's (tests use 127.0.0.1).
    explicit QtDnsResolver(const QHostAddress& nameserver = {}, QObject* parent = nullptr)
        : IDnsResolver(parent), m_nameserver(nameserver)
    {
    }
    ~QtDnsResolver() override;
    void Lookup(int tag, Type type, const QString& name) override;
    void CancelAll() override;

private:
    QHostAddress m_nameserver;
    QList<QPointer<QDnsLookup>> m_running;
};

} // namespace platform
