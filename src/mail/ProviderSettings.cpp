#include "ProviderSettings.h"

#include <QFile>
#include <QHash>
#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QXmlStreamReader>

namespace mail {

namespace {

struct Method {
    ProviderSettings::Auth auth;
    QString preset;
    bool login;
};

// The login the listed methods allow, preferring the browser sign-in only where a preset exists
// for the server (or nothing else is offered); nothing when no method is one this program knows.
std::optional<Method> ChooseMethod(const QStringList& listed, const QString& host)
{
    bool oauth = false, password = false, none = false;
    for (const QString& m : listed) {
        const QString word = m.trimmed().toLower();
        if (word == QLatin1String("oauth2"))
            oauth = true;
        else if (word == QLatin1String("password-cleartext") || word == QLatin1String("plain")
                 || word == QLatin1String("password-encrypted") || word == QLatin1String("secure"))
            password = true;
        else if (word == QLatin1String("none"))
            none = true;
    }
    const QString preset = OAuthPresetFor(host);
    if (oauth && (!preset.isEmpty() || (!password && !none)))
        return Method{ProviderSettings::Auth::OAuth2, preset, true};
    if (password || listed.isEmpty())
        return Method{ProviderSettings::Auth::Password, {}, true};
    if (none)
        return Method{ProviderSettings::Auth::Password, {}, false};
    return std::nullopt;
}

QString SecurityWord(const QString& socketType)
{
    const QString word = socketType.trimmed().toLower();
    if (word == QLatin1String("ssl") || word == QLatin1String("tls"))
        return QStringLiteral("tls");
    if (word == QLatin1String("starttls"))
        return QStringLiteral("starttls");
    if (word == QLatin1String("plain") || word == QLatin1String("none"))
        return QStringLiteral("none");
    return {};
}

QString Substitute(QString text, const MailAddress& address)
{
    text.replace(QLatin1String("%EMAILADDRESS%"), address.address, Qt::CaseInsensitive);
    text.replace(QLatin1String("%EMAILLOCALPART%"), address.localPart, Qt::CaseInsensitive);
    text.replace(QLatin1String("%EMAILDOMAIN%"), address.domain, Qt::CaseInsensitive);
    return text.trimmed();
}

struct Candidate {
    QString host;
    QString port;
    QString socketType;
    QString username;
    bool hasUsername = false;
    QStringList methods;
};

// One candidate made into settings; a plain-text one only reports that it was seen.
std::optional<ProviderSettings> Settle(const Candidate& c, const MailAddress& address, ProviderMiss* miss)
{
    ProviderSettings s;
    s.host = Substitute(c.host, address);
    if (s.host.endsWith(QLatin1Char('.')))
        s.host.chop(1);
    bool numeric = false;
    const uint port = c.port.trimmed().toUInt(&numeric);
    if (!IsServerName(s.host) || !numeric || port == 0 || port > 65535)
        return std::nullopt;
    s.port = quint16(port);
    s.security = SecurityWord(c.socketType);
    if (s.security.isEmpty())
        return std::nullopt;
    const std::optional<Method> method = ChooseMethod(c.methods, s.host);
    if (!method)
        return std::nullopt;
    if (s.security == QLatin1String("none")) {
        // A password would cross the network readable by anyone on the way.
        if (miss)
            *miss = ProviderMiss::PlainOnly;
        return std::nullopt;
    }
    s.auth = method->auth;
    s.oauthProvider = method->preset;
    if (method->login) {
        s.user = c.hasUsername ? Substitute(c.username, address) : address.address;
        // A placeholder this program does not know (a real name, say) is not a login.
        if (s.user.contains(QLatin1Char('%')) || s.user.isEmpty())
            s.user = address.address;
    }
    return s;
}

struct TableRow {
    QString host, port, security, methods;
};

const QHash<QString, TableRow>& Table()
{
    static const QHash<QString, TableRow> table = [] {
        QHash<QString, TableRow> rows;
        QFile file(QStringLiteral(":/brevilo/providers.tsv"));
        if (!file.open(QIODevice::ReadOnly))
            return rows;
        const QStringList lines = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
        for (const QString& line : lines) {
            if (line.startsWith(QLatin1Char('#')))
                continue;
            const QStringList f = line.split(QLatin1Char('\t'));
            if (f.size() >= 6)
                rows.insert(f[0].trimmed().toLower(), {f[1], f[2], f[3], f[5]});
        }
        return rows;
    }();
    return table;
}

} // namespace

QString ProviderSettings::ServerSetting() const
{
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return shown + QLatin1Char(':') + QString::number(port);
}

MailAddress MailAddress::Parse(const QString& text)
{
    QString a = text.trimmed();
    // "Anna <anna@example.it>" gives the address between the brackets.
    const qsizetype open = a.lastIndexOf(QLatin1Char('<'));
    if (open >= 0 && a.endsWith(QLatin1Char('>')))
        a = a.mid(open + 1, a.size() - open - 2).trimmed();
    const qsizetype at = a.lastIndexOf(QLatin1Char('@'));
    MailAddress result;
    if (at <= 0 || at == a.size() - 1 || a.contains(QRegularExpression(QStringLiteral("\\s"))))
        return result;
    QString domain = a.mid(at + 1).toLower();
    if (domain.endsWith(QLatin1Char('.')))
        domain.chop(1);
    const QString ace = QString::fromLatin1(QUrl::toAce(domain));
    if (ace.isEmpty() || !IsServerName(ace) || !ace.contains(QLatin1Char('.')))
        return result;
    result.address = a;
    result.localPart = a.left(at);
    result.domain = ace;
    return result;
}

bool IsServerName(const QString& host)
{
    static const QRegularExpression name(QStringLiteral(
        "^(?=.{1,253}$)[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?(?:\\.[A-Za-z0-9](?:[A-Za-z0-9-]{0,61}[A-Za-z0-9])?)*$"));
    if (name.match(host).hasMatch())
        return true;
    return host.contains(QLatin1Char(':')) && !QHostAddress(host).isNull();
}

QString OAuthPresetFor(const QString& host)
{
    const QString h = QLatin1Char('.') + host.toLower();
    for (const char* google : {".gmail.com", ".googlemail.com", ".google.com"})
        if (h.endsWith(QLatin1String(google)))
            return QStringLiteral("google");
    for (const char* microsoft : {".outlook.com", ".office365.com"})
        if (h.endsWith(QLatin1String(microsoft)))
            return QStringLiteral("microsoft");
    return {};
}

std::optional<ProviderSettings> ParseProviderFile(const QByteArray& xml, const MailAddress& address,
                                                  ProviderMiss* miss)
{
    if (xml.size() > kMaxProviderFileBytes)
        return std::nullopt;
    QXmlStreamReader reader(xml);
    QList<Candidate> candidates;
    Candidate* current = nullptr;
    while (!reader.atEnd()) {
        const QXmlStreamReader::TokenType token = reader.readNext();
        if (token == QXmlStreamReader::DTD || token == QXmlStreamReader::EntityReference)
            return std::nullopt; // no entity of any kind, declared or external
        if (token == QXmlStreamReader::StartElement) {
            if (current) {
                // A field of the server, read whole (its end tag too).
                const QString name = reader.name().toString();
                const QString text = reader.readElementText(QXmlStreamReader::SkipChildElements);
                if (name == QLatin1String("hostname"))
                    current->host = text;
                else if (name == QLatin1String("port"))
                    current->port = text;
                else if (name == QLatin1String("socketType"))
                    current->socketType = text;
                else if (name == QLatin1String("username")) {
                    current->username = text;
                    current->hasUsername = true;
                } else if (name == QLatin1String("authentication"))
                    current->methods.append(text);
            } else if (reader.name() == QLatin1String("outgoingServer")
                       && reader.attributes().value(QLatin1String("type")).compare(QLatin1String("smtp"), Qt::CaseInsensitive) == 0) {
                candidates.append(Candidate{});
                current = &candidates.last();
            }
        } else if (token == QXmlStreamReader::EndElement && current && reader.name() == QLatin1String("outgoingServer")) {
            current = nullptr;
        }
    }
    if (reader.hasError())
        return std::nullopt;
    ProviderMiss seen = ProviderMiss::None;
    for (const Candidate& c : candidates) {
        if (std::optional<ProviderSettings> s = Settle(c, address, &seen))
            return s;
    }
    if (miss)
        *miss = seen;
    return std::nullopt;
}

std::optional<ProviderSettings> KnownProvider(const QString& domain, const MailAddress& address, ProviderMiss* miss)
{
    const auto row = Table().constFind(domain.toLower());
    if (row == Table().cend())
        return std::nullopt;
    const QString socketType = row->security == QLatin1String("tls") ? QStringLiteral("SSL") : row->security;
    return Settle({row->host, row->port, socketType, {}, false, row->methods.split(QLatin1Char(','), Qt::SkipEmptyParts)},
                  address, miss);
}

} // namespace mail
