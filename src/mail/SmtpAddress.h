#pragma once

#include <QString>

namespace mail {

// The SMTP setting as host and port: "host", "host:port", "[ipv6]", "[ipv6]:port", or a bare
// IPv6 address. Without a port the server is on 25, as it always was.
struct SmtpAddress {
    QString host;
    quint16 port = 25;
    bool valid = false;

    static SmtpAddress Parse(const QString& setting);
};

inline constexpr quint16 kSmtpPort = 25;

} // namespace mail
