#include "ProviderLookup.h"

#include <QUrl>

#include <algorithm>

namespace mail {

namespace {

QString NoDots(QString host)
{
    while (host.endsWith(QLatin1Char('.')))
        host.chop(1);
    return host.toLower();
}

bool WithinDomain(const QString& host, const QString& domain)
{
    return host == domain || host.endsWith(QLatin1Char('.') + domain);
}

} // namespace

ProviderLookup::ProviderLookup(platform::ISecureHttpClient& http, platform::IDnsResolver& dns,
                               platform::ITimer& limit, Sources sources, QObject* parent)
    : QObject(parent), m_http(http), m_dns(dns), m_limit(limit), m_sources(std::move(sources))
{
    connect(&m_http, &platform::ISecureHttpClient::finished, this, &ProviderLookup::OnHttp);
    connect(&m_dns, &platform::IDnsResolver::finished, this, &ProviderLookup::OnDns);
    connect(&m_limit, &platform::ITimer::timeout, this, &ProviderLookup::OnLimit);
}

void ProviderLookup::Start(const QString& address)
{
    Cancel();
    m_address = MailAddress::Parse(address);
    m_outcome = {};
    m_plainOnly = false;
    m_running = true;
    if (m_address.domain.isEmpty()) {
        End({std::nullopt, QStringLiteral("Scrivere prima il proprio indirizzo e-mail (From), per esempio nome@esempio.it")});
        return;
    }
    const QString& domain = m_address.domain;
    ProviderMiss miss = ProviderMiss::None;
    if (std::optional<ProviderSettings> known = KnownProvider(domain, m_address, &miss)) {
        known->sourceLine = QStringLiteral("Impostazioni note per %1").arg(domain);
        End({known, {}});
        return;
    }
    m_plainOnly = miss == ProviderMiss::PlainOnly;

    ++m_generation;
    m_state.fill(State::Pending);
    m_found.fill(std::nullopt);
    m_limit.Start(kLimitMs, true);
    const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(m_address.address));
    const auto tag = [this](Source s) { return m_generation * kSourceCount + s; };
    // The addresses are made from a checked domain, so each is one well-formed URL.
    m_http.Get(tag(Autoconfig), QUrl(m_sources.autoconfig.arg(domain, encoded)));
    m_http.Get(tag(WellKnown), QUrl(m_sources.wellKnown.arg(domain)));
    m_http.Get(tag(Database), QUrl(m_sources.database.arg(domain)));
    using Type = platform::IDnsResolver::Type;
    m_dns.Lookup(tag(SrvSubmissions), Type::Srv, QStringLiteral("_submissions._tcp.") + domain);
    m_dns.Lookup(tag(SrvSubmission), Type::Srv, QStringLiteral("_submission._tcp.") + domain);
    m_dns.Lookup(tag(Mx), Type::Mx, domain);
}

void ProviderLookup::Cancel()
{
    if (!m_running)
        return;
    m_running = false;
    ++m_generation;
    m_limit.Stop();
    m_http.CancelAll();
    m_dns.CancelAll();
}

void ProviderLookup::OnHttp(int tag, bool ok, const QByteArray& body)
{
    if (!m_running || tag / kSourceCount != m_generation)
        return;
    const int source = tag % kSourceCount;
    ProviderMiss miss = ProviderMiss::None;
    std::optional<ProviderSettings> settings = ok ? ParseProviderFile(body, m_address, &miss) : std::nullopt;
    if (miss == ProviderMiss::PlainOnly)
        m_plainOnly = true;
    if (settings) {
        settings->sourceLine = source == Database
                                   ? QStringLiteral("Impostazioni dall'archivio pubblico dei provider per %1")
                                   : QStringLiteral("Impostazioni pubblicate da %1");
        settings->sourceLine = settings->sourceLine.arg(m_address.domain);
    }
    Answer(source, std::move(settings));
}

void ProviderLookup::OnDns(int tag, const QList<platform::DnsRecord>& answer)
{
    if (!m_running || tag / kSourceCount != m_generation)
        return;
    const int source = tag % kSourceCount;
    QList<platform::DnsRecord> records = answer;
    // Lowest priority first; among equals the heavier weight (a fixed order: the choice is shown
    // to a person, who should see the same answer twice).
    std::stable_sort(records.begin(), records.end(), [](const auto& a, const auto& b) {
        return a.priority != b.priority ? a.priority < b.priority : a.weight > b.weight;
    });
    const QString& domain = m_address.domain;
    std::optional<ProviderSettings> settings;
    for (const platform::DnsRecord& record : records) {
        const QString host = NoDots(record.target);
        if (source == Mx) {
            // The exchanger's name and each of its parent domains, against the table.
            QStringList labels = host.split(QLatin1Char('.'));
            for (; labels.size() >= 2 && !settings; labels.removeFirst()) {
                const QString candidate = labels.join(QLatin1Char('.'));
                settings = KnownProvider(candidate, m_address);
                if (settings)
                    settings->sourceLine = QStringLiteral("Impostazioni note per %1, che gestisce la posta di %2")
                                               .arg(candidate, domain);
            }
        } else if (record.port != 0 && IsServerName(host)) {
            // "." (no service) or a nonsense name: this record offers nothing.
            settings = ProviderSettings{};
            settings->host = host;
            settings->port = record.port;
            settings->security = source == SrvSubmissions ? QStringLiteral("tls") : QStringLiteral("starttls");
            settings->user = m_address.address;
            settings->oauthProvider.clear();
            settings->sourceLine = QStringLiteral("Impostazioni pubblicate nel DNS di %1").arg(domain);
            // Unsigned DNS may name anybody's server: say so when it lies outside the domain.
            if (!WithinDomain(host, domain))
                settings->sourceLine += QStringLiteral(" (server %1, fuori dal dominio: controllare)").arg(host);
        }
        if (settings)
            break;
    }
    Answer(source, std::move(settings));
}

void ProviderLookup::Answer(int source, std::optional<ProviderSettings> settings)
{
    if (m_state[source] != State::Pending)
        return;
    m_state[source] = settings ? State::Found : State::Missed;
    m_found[source] = std::move(settings);
    Weigh();
}

void ProviderLookup::Weigh()
{
    for (int s = 0; s < kSourceCount; ++s) {
        if (m_state[s] == State::Pending)
            return; // an earlier source may still answer
        if (m_state[s] == State::Found) {
            End({m_found[s], {}});
            return;
        }
    }
    End({std::nullopt, m_plainOnly
                           ? QStringLiteral("Trovato solo un server senza cifratura, non proposto: inserire i dati del provider")
                           : QStringLiteral("Nessuna impostazione trovata: inserire i dati del provider")});
}

void ProviderLookup::OnLimit()
{
    if (m_running)
        End({std::nullopt, QStringLiteral("Nessuna risposta entro %1 secondi: nessun campo è stato cambiato")
                               .arg(kLimitMs / 1000)});
}

void ProviderLookup::End(Outcome outcome)
{
    Cancel();
    if (outcome.settings)
        outcome.line = outcome.settings->sourceLine;
    m_outcome = std::move(outcome);
    Q_EMIT finished();
}

} // namespace mail
