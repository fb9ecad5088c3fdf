#pragma once

#include <QList>
#include <QObject>
#include <QString>

namespace platform {

// One answer of a DNS lookup: for SRV the target, port, priority and weight; for MX the mail
// exchanger in target and its preference in priority.
struct DnsRecord {
    QString target;
    quint16 port = 0;
    quint16 priority = 0;
    quint16 weight = 0;
};

// What the provider lookup needs of DNS: SRV and MX queries, several at once.
class IDnsResolver : public QObject {
    Q_OBJECT
public:
    enum class Type { Srv, Mx };
    using QObject::QObject;
    // Starts a query and returns; finished() names it by the caller's tag.
    virtual void Lookup(int tag, Type type, const QString& name) = 0;
    // Drops every running query without a notification.
    virtual void CancelAll() = 0;

Q_SIGNALS:
    // No records (also for a name that does not exist or a failed query): an empty list.
    void finished(int tag, const QList<platform::DnsRecord>& records);
};

} // namespace platform
