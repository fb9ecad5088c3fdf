#pragma once

#include "platform/TcpSocket.h"

#include <QString>

#include <optional>

namespace mail {

// The SMTP setting as host and port: "host", "host:port", "[ipv6]", "[ipv6]:port", or a bare
// IPv6 address. Without a port the server is on the default port of its Security: 25 for
// plain SMTP, as it always was, 587 for STARTTLS submission, 465 for implicit TLS.
inline constexpr quint16 kSmtpPort = 25;

struct SmtpAddress {
    QString host;
    quint16 port = kSmtpPort;
    bool valid = false;

    static SmtpAddress Parse(const QString& setting, quint16 defaultPort = kSmtpPort);
};

// The Security setting ("none", "starttls", "tls", in any case, blanks around ignored); nothing
// for any other word, which must never be taken for "none".
std::optional<platform::Encryption> ParseSecurity(const QString& setting);
quint16 DefaultPort(platform::Encryption encryption);

} // namespace mail
