#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace mail {

// What a lookup found for an address: the submission server and how to log in, with the one
// Italian line that says where it came from.
struct ProviderSettings {
    enum class Auth { Password, OAuth2 };

    QString host;
    quint16 port = 0;
    QString security; // "tls" or "starttls": plain-text servers are never proposed
    QString user;     // empty: no login
    Auth auth = Auth::Password;
    QString oauthProvider; // "google", "microsoft", or empty when no preset fits the server
    QString sourceLine;

    // The SMTP setting: "host:port", an IPv6 literal in brackets.
    QString ServerSetting() const;
};

// The parts of an address the sources are asked with; empty domain when it is not an address.
struct MailAddress {
    QString address; // "anna@example.it"
    QString localPart;
    QString domain; // lower case, in ASCII (IDNA)

    static MailAddress Parse(const QString& text);
};

// Published configuration files are read up to this size.
inline constexpr qsizetype kMaxProviderFileBytes = 64 * 1024;

// Why a source did not answer: nothing usable, or only servers without encryption.
enum class ProviderMiss { None, PlainOnly };

// The encrypted SMTP server of a configuration file in the published format (clientConfig,
// outgoingServer type="smtp"), the first one listed that this program can use. Untrusted input:
// a document with a DTD, one that does not parse, or one over kMaxProviderFileBytes gives nothing.
std::optional<ProviderSettings> ParseProviderFile(const QByteArray& xml, const MailAddress& address,
                                                  ProviderMiss* miss = nullptr);

// The built-in table of known providers, by mail domain (lower case).
std::optional<ProviderSettings> KnownProvider(const QString& domain, const MailAddress& address,
                                              ProviderMiss* miss = nullptr);

// The preset of the sign-in in the browser that fits a server, or empty.
QString OAuthPresetFor(const QString& host);

// A host name or an IP address as a server setting may hold it.
bool IsServerName(const QString& host);

} // namespace mail
