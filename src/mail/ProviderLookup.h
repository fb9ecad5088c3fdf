#pragma once

#include "ProviderSettings.h"

#include "platform/DnsResolver.h"
#include "platform/HttpClient.h"
#include "platform/Timer.h"

#include <QObject>

#include <array>

namespace mail {

// Where the lookup asks for files: %1 is the domain, %2 the address (percent-encoded). Tests point
// them at 127.0.0.1; the program always uses these.
struct ProviderSources {
    QString autoconfig = QStringLiteral("https://autoconfig.%1/mail/config-v1.1.xml?emailaddress=%2");
    QString wellKnown = QStringLiteral("https://%1/.well-known/autoconfig/mail/config-v1.1.xml");
    QString database = QStringLiteral("https://autoconfig.thunderbird.net/v1.1/%1");
};

// Finds the submission settings for an address. The sources, in the order in which their answers
// count (the first that has one wins):
//   1. the built-in table of known providers (no traffic at all);
//   2. the domain's own file at https://autoconfig.<domain>/...;
//   3. the domain's own file at https://<domain>/.well-known/autoconfig/...;
//   4. the providers' public database online;
//   5. DNS SRV _submissions._tcp.<domain> (implicit TLS), then 6. _submission._tcp.<domain> (STARTTLS);
//   7. the domain's MX naming a known provider.
// The network sources are asked at once and the answers are weighed in that order, so one slow
// source costs no more than the whole limit. Nothing is contacted before Start.
class ProviderLookup : public QObject {
    Q_OBJECT
public:
    using Sources = ProviderSources;
    struct Outcome {
        std::optional<ProviderSettings> settings;
        QString line; // Italian, shown as it is
    };
    static constexpr int kLimitMs = 10000;

    ProviderLookup(platform::ISecureHttpClient& http, platform::IDnsResolver& dns, platform::ITimer& limit,
                   Sources sources = {}, QObject* parent = nullptr);

    // Starts looking; finished() may come before this returns (an address without a domain,
    // a known provider). A running lookup is dropped first, without finished().
    void Start(const QString& address);
    // Drops the running lookup without finished().
    void Cancel();
    bool IsRunning() const { return m_running; }
    const Outcome& Result() const { return m_outcome; }

Q_SIGNALS:
    void finished();

private:
    enum Source { Autoconfig, WellKnown, Database, SrvSubmissions, SrvSubmission, Mx, kSourceCount };
    enum class State { Pending, Missed, Found };

    void OnHttp(int tag, bool ok, const QByteArray& body);
    void OnDns(int tag, const QList<platform::DnsRecord>& records);
    void OnLimit();
    void Answer(int source, std::optional<ProviderSettings> settings);
    void Weigh();
    void End(Outcome outcome);

    platform::ISecureHttpClient& m_http;
    platform::IDnsResolver& m_dns;
    platform::ITimer& m_limit;
    Sources m_sources;
    MailAddress m_address;
    std::array<State, kSourceCount> m_state{};
    std::array<std::optional<ProviderSettings>, kSourceCount> m_found;
    Outcome m_outcome;
    int m_generation = 0; // tags carry it, so a late answer of an earlier lookup is ignored
    bool m_running = false;
    bool m_plainOnly = false;
};

} // namespace mail
