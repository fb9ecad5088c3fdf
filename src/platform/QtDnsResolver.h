#pragma once

#include "DnsResolver.h"

#include <QList>
#include <QPointer>

class QDnsLookup;

namespace platform {

// IDnsResolver over QDnsLookup and the system's resolver.
class QtDnsResolver final : public IDnsResolver {
    Q_OBJECT
public:
    using IDnsResolver::IDnsResolver;
    ~QtDnsResolver() override;
    void Lookup(int tag, Type type, const QString& name) override;
    void CancelAll() override;

private:
    QList<QPointer<QDnsLookup>> m_running;
};

} // namespace platform
