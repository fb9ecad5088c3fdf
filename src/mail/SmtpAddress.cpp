#include "SmtpAddress.h"

namespace mail {

namespace {

bool ParsePort(const QString& text, quint16& port)
{
    if (text.isEmpty())
        return false;
    for (QChar c : text) {
        if (!c.isDigit() || c.unicode() > 0x7f)
            return false;
    }
    bool ok = false;
    const uint value = text.toUInt(&ok);
    if (!ok || value == 0 || value > 65535)
        return false;
    port = static_cast<quint16>(value);
    return true;
}

} // namespace

std::optional<platform::Encryption> ParseSecurity(const QString& setting)
{
    const QString word = setting.trimmed().toLower();
    if (word == QLatin1String("none"))
        return platform::Encryption::None;
    if (word == QLatin1String("starttls"))
        return platform::Encryption::StartTls;
    if (word == QLatin1String("tls"))
        return platform::Encryption::Implicit;
    return std::nullopt;
}

quint16 DefaultPort(platform::Encryption encryption)
{
    switch (encryption) {
    case platform::Encryption::StartTls:
        return 587;
    case platform::Encryption::Implicit:
        return 465;
    case platform::Encryption::None:
        break;
    }
    return kSmtpPort;
}

SmtpAddress SmtpAddress::Parse(const QString& setting, quint16 defaultPort)
{
    SmtpAddress out;
    out.port = defaultPort;
    const QString text = setting.trimmed();
    if (text.isEmpty())
        return out;

    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 2)
            return out;
        out.host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (rest.isEmpty()) {
            out.valid = true;
        } else if (rest.startsWith(QLatin1Char(':'))) {
            out.valid = ParsePort(rest.mid(1), out.port);
        }
        return out;
    }

    const qsizetype colons = text.count(QLatin1Char(':'));
    if (colons > 1) {
        // Two or more colons can only be a bare IPv6 address; a port needs the brackets.
        out.host = text;
        out.valid = true;
        return out;
    }
    if (colons == 1) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        out.host = text.left(colon);
        out.valid = !out.host.isEmpty() && ParsePort(text.mid(colon + 1), out.port);
        return out;
    }
    out.host = text;
    out.valid = true;
    return out;
}

} // namespace mail
