#include "MessageFormat.h"

#include <QCryptographicHash>
#include <QList>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>
#include <QUuid>

namespace mail {

namespace {

const QByteArray kCrLf = QByteArrayLiteral("\r\n");

bool IsAscii(const QString& text)
{
    for (QChar c : text) {
        if (c.unicode() > 0x7f)
            return false;
    }
    return true;
}

// The lines of a text whose own line breaks may be LF, CR or CR LF.
QStringList TextLines(const QString& text)
{
    QString unified = text;
    unified.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    unified.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    return unified.split(QLatin1Char('\n'));
}

// The text with CR LF line ends and a leading "." doubled, so that no line of it ends the
// message early.
QByteArray BodyLines(const QString& text)
{
    QByteArray out;
    out.reserve(text.size() + 16);
    for (const QString& line : TextLines(text)) {
        if (line.startsWith(QLatin1Char('.')))
            out += '.';
        out += line.toUtf8();
        out += kCrLf;
    }
    return out;
}

// SMTP carries lines of at most 998 octets before the CR LF; servers refuse longer ones.
constexpr qsizetype kMaxLineOctets = 998;

bool HasLongLine(const QByteArray& lines)
{
    qsizetype start = 0;
    while (start < lines.size()) {
        const qsizetype end = lines.indexOf(kCrLf, start);
        if ((end < 0 ? lines.size() : end) - start > kMaxLineOctets)
            return true;
        start = end < 0 ? lines.size() : end + 2;
    }
    return false;
}

// Quoted-printable text with CR LF line ends and lines of at most 76 characters, for a text
// with a paragraph too long for one SMTP line. A "." that would start a line is encoded, so
// no line of it ends the message early.
QByteArray QuotedPrintableLines(const QString& text)
{
    QByteArray out;
    for (const QString& line : TextLines(text)) {
        const QByteArray bytes = line.toUtf8();
        qsizetype column = 0;
        for (qsizetype i = 0; i < bytes.size(); ++i) {
            const uchar c = static_cast<uchar>(bytes[i]);
            const bool last = i + 1 == bytes.size();
            const bool plain = (c >= 33 && c <= 126 && c != '=') || ((c == ' ' || c == '\t') && !last);
            QByteArray token = plain ? QByteArray(1, char(c)) : "=" + QByteArray::number(c, 16).rightJustified(2, '0').toUpper();
            if (column + token.size() > 75) {
                out += "=\r\n";
                column = 0;
            }
            if (column == 0 && c == '.')
                token = "=2E";
            out += token;
            column += token.size();
        }
        out += kCrLf;
    }
    return out;
}

// RFC 5322's specials: an atom holding one of them is no longer a single display name.
bool HasSpecials(const QString& text)
{
    static const QString kSpecials = QStringLiteral("()<>[]:;@\\,.\"");
    for (QChar c : text) {
        if (kSpecials.contains(c))
            return true;
    }
    return false;
}

// The name as an RFC 5322 quoted string, a backslash before each quote and backslash.
QByteArray QuotedString(const QString& text)
{
    QByteArray out = "\"";
    for (QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            out += '\\';
        out += char(c.unicode());
    }
    out += '"';
    return out;
}

} // namespace

QString OneLine(QString text)
{
    text.replace(QLatin1String("\r\n"), QLatin1String(" "));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

QByteArray EncodeHeaderText(const QString& text)
{
    // At most 45 bytes per word keep each encoded word within 75 characters; a character's
    // bytes are never split between two words.
    constexpr qsizetype kMaxBytes = 45;
    QList<QByteArray> chunks(1);
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype units = (text.at(i).isHighSurrogate() && i + 1 < text.size()) ? 2 : 1;
        const QByteArray bytes = text.mid(i, units).toUtf8();
        if (chunks.last().size() + bytes.size() > kMaxBytes)
            chunks.append(QByteArray());
        chunks.last() += bytes;
        i += units - 1;
    }
    QByteArray out;
    for (const QByteArray& chunk : chunks) {
        if (!out.isEmpty())
            out += "\r\n "; // folded: the blank between encoded words is not part of the text
        out += "=?UTF-8?B?" + chunk.toBase64() + "?=";
    }
    return out;
}

QByteArray DisplayName(const QString& name)
{
    // Plain text as it always went out; quoted when its specials would split it into other
    // mailboxes. An encoded word, which no reader splits, for a name that is not ASCII or that
    // would not fit one line even quoted.
    constexpr qsizetype kMaxNameOctets = kMaxLineOctets - 100;
    if (!IsAscii(name))
        return EncodeHeaderText(name);
    if (!HasSpecials(name))
        return name.size() < kMaxNameOctets ? name.toLatin1() : EncodeHeaderText(name);
    const QByteArray quoted = QuotedString(name);
    return quoted.size() < kMaxNameOctets ? quoted : EncodeHeaderText(name);
}

QByteArray DateHeaderText(const QDateTime& time)
{
    // Qt writes the RFC form with English month names but without the day of the week.
    const QString day = QLocale::c().dayName(time.date().dayOfWeek(), QLocale::ShortFormat);
    return (day + QLatin1String(", ") + time.toString(Qt::RFC2822Date)).toLatin1();
}

QByteArray MessageIdText(const CMessaggio& mail)
{
    // The record's uid names it across retries and restarts, so a second delivery of the same
    // message can be recognised as one. Anything but a plain uid is hashed into one. Both
    // patterns are anchored whole: "$" alone would let a final line break through.
    static const QRegularExpression kPlainId(QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9-]+")));
    static const QRegularExpression kDomain(
        QRegularExpression::anchoredPattern(QStringLiteral("[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*")));
    QByteArray id;
    if (mail.mailUid.isEmpty())
        id = QUuid::createUuid().toByteArray(QUuid::WithoutBraces);
    else if (kPlainId.match(mail.mailUid).hasMatch())
        id = mail.mailUid.toLatin1();
    else
        id = QCryptographicHash::hash(mail.mailUid.toUtf8(), QCryptographicHash::Sha1).toHex();

    const QString from = OneLine(mail.mailFrom);
    const qsizetype at = from.lastIndexOf(QLatin1Char('@'));
    QByteArray domain = at < 0 ? QByteArray() : QUrl::toAce(from.mid(at + 1));
    if (!kDomain.match(QString::fromLatin1(domain)).hasMatch())
        domain = "localhost"; // no usable domain in the sender's address
    return "<" + id + "@" + domain + ">";
}

QByteArray MessageContent(const CMessaggio& mail, const ContentOptions& options)
{
    const QString subject = OneLine(mail.mailSubject);
    const QString name = OneLine(mail.mailFromName);
    const QByteArray body = BodyLines(mail.mailText);
    const bool quotedPrintable = HasLongLine(body);
    const bool utf8 = quotedPrintable || !IsAscii(subject) || !IsAscii(name) || !IsAscii(mail.mailText);
    // Encoded words fold a header that would not fit one line.
    auto header = [](const QString& text) {
        return IsAscii(text) && text.size() < kMaxLineOctets - 100 ? text.toUtf8() : EncodeHeaderText(text);
    };

    QByteArray out;
    out += "Subject:" + header(subject) + kCrLf;
    out += "From:" + DisplayName(name) + " <" + OneLine(mail.mailFrom).toUtf8() + ">" + kCrLf;
    out += "To:" + OneLine(mail.mailTo).toUtf8() + kCrLf;
    if (options.submission) {
        const QDateTime sent = options.sendTime.isValid() ? options.sendTime : QDateTime::currentDateTime();
        out += "Date: " + DateHeaderText(sent) + kCrLf;
        out += "Message-ID: " + MessageIdText(mail) + kCrLf;
    }
    if (utf8) {
        out += "MIME-Version: 1.0\r\n";
        out += "Content-Type: text/plain; charset=UTF-8\r\n";
        out += quotedPrintable ? "Content-Transfer-Encoding: quoted-printable\r\n" : "Content-Transfer-Encoding: 8bit\r\n";
    }
    out += kCrLf;
    out += quotedPrintable ? QuotedPrintableLines(mail.mailText) : body;
    return out;
}

} // namespace mail
