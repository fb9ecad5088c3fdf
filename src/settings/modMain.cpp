#include "modMain.h"

#include <QByteArray>

#include <cmath>
#include <limits>

namespace settings {

namespace {
const QString kAddress = QStringLiteral("Address");
const QString kNews = QStringLiteral("News");

QString DestKey(int i)
{
    return QStringLiteral("Dest") + QString::number(i);
}

bool IsDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

qint32 Clamp(double value)
{
    constexpr double lo = std::numeric_limits<qint32>::min();
    constexpr double hi = std::numeric_limits<qint32>::max();
    if (value <= lo)
        return std::numeric_limits<qint32>::min();
    if (value >= hi)
        return std::numeric_limits<qint32>::max();
    return static_cast<qint32>(value);
}
} // namespace

qint32 ConvertTempoAttesa(const QString& text)
{
    QString s;
    for (QChar c : text)
        if (c != QLatin1Char(' ') && c != QLatin1Char('\t') && c != QLatin1Char('\n'))
            s += c;

    qsizetype i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == QLatin1Char('+') || s[i] == QLatin1Char('-')))
        negative = s[i++] == QLatin1Char('-');
    QByteArray intDigits;
    QByteArray fracDigits;
    while (i < s.size() && IsDigit(s[i]))
        intDigits += char(s[i++].unicode());
    if (i < s.size() && s[i] == QLatin1Char('.')) {
        qsizetype j = i + 1;
        while (j < s.size() && IsDigit(s[j]))
            fracDigits += char(s[j++].unicode());
        if (!intDigits.isEmpty() || !fracDigits.isEmpty())
            i = j;
    }
    if (intDigits.isEmpty() && fracDigits.isEmpty())
        return 0;
    // The exponent counts only with at least one digit; a capped value keeps the sum in range.
    long exponent = 0;
    if (i < s.size() && (s[i] == QLatin1Char('E') || s[i] == QLatin1Char('e'))) {
        qsizetype j = i + 1;
        bool expNegative = false;
        if (j < s.size() && (s[j] == QLatin1Char('+') || s[j] == QLatin1Char('-')))
            expNegative = s[j++] == QLatin1Char('-');
        long value = 0;
        bool any = false;
        while (j < s.size() && IsDigit(s[j])) {
            value = qMin(value * 10 + (s[j++].unicode() - '0'), 1000000L);
            any = true;
        }
        if (any)
            exponent = expNegative ? -value : value;
    }

    // Order of magnitude of the mantissa, to clamp or zero huge and tiny values before
    // a double conversion would overflow.
    const QByteArray digits = intDigits + fracDigits;
    const qsizetype firstNonZero = [&] {
        for (qsizetype k = 0; k < digits.size(); ++k)
            if (digits[k] != '0')
                return k;
        return qsizetype(-1);
    }();
    if (firstNonZero < 0)
        return 0;
    const long magnitude = long(intDigits.size() - firstNonZero) + exponent;
    if (magnitude > 12)
        return negative ? std::numeric_limits<qint32>::min() : std::numeric_limits<qint32>::max();
    if (magnitude < -4)
        return 0;

    QByteArray number = (intDigits.isEmpty() ? QByteArray("0") : intDigits);
    if (!fracDigits.isEmpty())
        number += '.' + fracDigits;
    number += 'e' + QByteArray::number(qlonglong(exponent));
    const double value = number.toDouble();
    // nearbyint follows the default rounding mode: to nearest, halves to the even neighbour.
    const double rounded = std::nearbyint(negative ? -value : value);
    return Clamp(rounded);
}

QString ModMain::Load(const platform::ISettingsStore& store)
{
    From = store.ReadSetting(kAppName, kAddress, QStringLiteral("From"), QString());
    SMTP = store.ReadSetting(kAppName, kAddress, QStringLiteral("SMTP"), QString());
    const QString senderName = store.ReadSetting(kAppName, kAddress, QStringLiteral("Name"), QString());
    TempoAttesa = ConvertTempoAttesa(
        store.ReadSetting(kAppName, kAddress, QStringLiteral("TempoAttesa"), QStringLiteral("30")));
    for (int i = 0; i < 3; ++i)
        NewsDest[i] = store.ReadSetting(kAppName, kNews, DestKey(i), QString());
    bool numeric = false;
    RetryHours = store.ReadSetting(kAppName, kAddress, QStringLiteral("RetryHours"), QString::number(kDefaultRetryHours))
                     .trimmed()
                     .toInt(&numeric);
    if (!numeric || RetryHours < 0)
        RetryHours = kDefaultRetryHours;
    Security = store.ReadSetting(kAppName, kAddress, QStringLiteral("Security"), QStringLiteral("none"));
    User = store.ReadSetting(kAppName, kAddress, QStringLiteral("User"), QString());
    TrustedCertificate = store.ReadSetting(kAppName, kAddress, QStringLiteral("TrustedCertificate"), QString());
    Auth = store.ReadSetting(kAppName, kAddress, QStringLiteral("Auth"), QStringLiteral("password")).trimmed();
    OAuthProvider = store.ReadSetting(kAppName, kAddress, QStringLiteral("OAuthProvider"), QStringLiteral("microsoft")).trimmed();
    OAuthClientId = store.ReadSetting(kAppName, kAddress, QStringLiteral("OAuthClientId"), QString()).trimmed();
    OAuthClientSecret = store.ReadSetting(kAppName, kAddress, QStringLiteral("OAuthClientSecret"), QString()).trimmed();
    OAuthAuthorizeUrl = store.ReadSetting(kAppName, kAddress, QStringLiteral("OAuthAuthorizeUrl"), QString()).trimmed();
    OAuthTokenUrl = store.ReadSetting(kAppName, kAddress, QStringLiteral("OAuthTokenUrl"), QString()).trimmed();
    OAuthScope = store.ReadSetting(kAppName, kAddress, QStringLiteral("OAuthScope"), QString()).trimmed();

    // Optional keys a user or administrator may add by hand; never written back.
    SmsGateway = store.ReadSetting(kAppName, kAddress, QStringLiteral("SmsGateway"), kDefaultSmsGateway)
                     .trimmed();
    // An empty gateway would turn every mobile number into "number@".
    if (SmsGateway.isEmpty())
        SmsGateway = kDefaultSmsGateway;
    CaFile = store.ReadSetting(kAppName, kAddress, QStringLiteral("CaFile"), QString()).trimmed();
    VolleyHost = store.ReadSetting(kAppName, kNews, QStringLiteral("VolleyHost"), QString()).trimmed();
    NewsHost = store.ReadSetting(kAppName, kNews, QStringLiteral("NewsHost"), QString()).trimmed();
    FootballHost = store.ReadSetting(kAppName, kNews, QStringLiteral("FootballHost"), QString()).trimmed();
    return senderName;
}

void ModMain::Save(platform::ISettingsStore& store, const QString& senderName) const
{
    store.WriteSetting(kAppName, kAddress, QStringLiteral("From"), From);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("SMTP"), SMTP);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("Name"), senderName);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("TempoAttesa"), QString::number(TempoAttesa));
    for (int i = 0; i < 3; ++i)
        store.WriteSetting(kAppName, kNews, DestKey(i), NewsDest[i]);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("RetryHours"), QString::number(RetryHours));
    store.WriteSetting(kAppName, kAddress, QStringLiteral("Security"), Security);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("User"), User);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("TrustedCertificate"), TrustedCertificate);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("Auth"), Auth);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("OAuthProvider"), OAuthProvider);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("OAuthClientId"), OAuthClientId);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("OAuthClientSecret"), OAuthClientSecret);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("OAuthAuthorizeUrl"), OAuthAuthorizeUrl);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("OAuthTokenUrl"), OAuthTokenUrl);
    store.WriteSetting(kAppName, kAddress, QStringLiteral("OAuthScope"), OAuthScope);
    if (SmsGateway != kDefaultSmsGateway && !SmsGateway.trimmed().isEmpty())
        store.WriteSetting(kAppName, kAddress, QStringLiteral("SmsGateway"), SmsGateway);
}

} // namespace settings
