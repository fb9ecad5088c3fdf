#include "QtDnsResolver.h"

#include <QDnsLookup>

#include <utility>

namespace platform {

QtDnsResolver::~QtDnsResolver()
{
    CancelAll();
}

void QtDnsResolver::Lookup(int tag, Type type, const QString& name)
{
    auto* lookup = new QDnsLookup(type == Type::Srv ? QDnsLookup::SRV : QDnsLookup::MX, name, this);
    if (!m_nameserver.isNull())
        lookup->setNameserver(m_nameserver);
    m_running.append(lookup);
    connect(lookup, &QDnsLookup::finished, this, [this, tag, lookup, type] {
        lookup->deleteLater();
        m_running.removeAll(lookup);
        QList<DnsRecord> records;
        if (lookup->error() == QDnsLookup::NoError) {
            if (type == Type::Srv) {
                for (const QDnsServiceRecord& r : lookup->serviceRecords())
                    records.append({r.target(), r.port(), r.priority(), r.weight()});
            } else {
                for (const QDnsMailExchangeRecord& r : lookup->mailExchangeRecords())
                    records.append({r.exchange(), 0, r.preference(), 0});
            }
        }
        Q_EMIT finished(tag, records);
    });
    lookup->lookup();
}

void QtDnsResolver::CancelAll()
{
    const auto running = std::exchange(m_running, {});
    for (const QPointer<QDnsLookup>& lookup : running) {
        if (lookup) {
            lookup->disconnect(this);
            lookup->abort();
            lookup->deleteLater();
        }
    }
}

} // namespace platform
