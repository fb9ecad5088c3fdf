#include "AddressRules.h"

namespace mail {

namespace {
// Only ASCII digits: a phone number typed with other scripts' digits is no gateway number.
bool IsAsciiDigits(QStringView text)
{
    for (QChar c : text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return false;
    return true;
}
} // namespace

QString AddressProblem(const QString& address)
{
    for (QChar c : address) {
        if (c == QLatin1Char('<') || c == QLatin1Char('>'))
            return QStringLiteral("contiene i caratteri < o >");
        const QChar::Category category = c.category();
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || category == QChar::Other_Control || category == QChar::Other_Format
)
            return QStringLiteral("contiene caratteri di controllo");
        if (c.isSpace())
            return QStringLiteral("contiene spazi");
    }
    if (address.count(QLatin1Char('@')) > 1)
        return QStringLiteral("contiene più di una @");
    return {};
}

bool IsAscii(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() > 0x7f)
            return false;
    return true;
}

QString ApplyMobileNumberRule(const QString& text, const QString& gatewayDomain)
{
    if (text.size() == 10 && text.startsWith(QLatin1String("34")) && IsAsciiDigits(text))
        return text + QLatin1Char('@') + gatewayDomain;
    return text;
}

bool IsGatewayAddress(const QString& text, const QString& gatewayDomain)
{
    if (text.size() != 11 + gatewayDomain.size())
        return false;
    return IsAsciiDigits(QStringView(text).left(10)) && text.at(10) == QLatin1Char('@')
        && QStringView(text).mid(11) == gatewayDomain;
}

QString TrimSpaces(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == QLatin1Char(' '))
        ++begin;
    while (end > begin && text.at(end - 1) == QLatin1Char(' '))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace mail
