// Arbitrary subject, sender name, addresses and text through the message's headers and body,
// in both modes. Checks what a server and a reader rely on: CR LF line ends only, no line over
// 998 octets, no line that is a lone ".", headers that are one field per line or a folded
// continuation, and a sender name that reads back as exactly one display name.
#include "FuzzCheck.h"
#include "mail/MessageFormat.h"

#include <QRegularExpression>

namespace {

// The name back from its display-name form, as far as it can be read without decoding words.
bool ReadsAsOneName(const QByteArray& shown, const QString& name)
{
    if (shown.startsWith("=?UTF-8?B?"))
        return true; // encoded words: one phrase whatever they hold
    if (!shown.startsWith('"'))
        return !shown.contains('"') && !shown.contains(',') && !shown.contains('<') && shown == name.toLatin1();
    QByteArray text;
    for (qsizetype i = 1; i < shown.size(); ++i) {
        if (shown[i] == '"')
            return i + 1 == shown.size() && text == name.toLatin1();
        text += shown[i] == '\\' && i + 1 < shown.size() ? shown[++i] : shown[i];
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const bool submission = data[0] & 1;
    const QList<QByteArray> parts = QByteArray(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1)).split('\0');
    auto field = [&parts](int i) { return i < parts.size() ? QString::fromUtf8(parts[i]) : QString(); };

    mail::CMessaggio record;
    record.mailSubject = field(0);
    record.mailFromName = field(1);
    // Addresses within SMTP's 256-octet path; the header line of a longer one is not judged here.
    record.mailFrom = field(2).left(200);
    record.mailTo = field(3).left(200);
    record.mailText = field(4);
    record.mailUid = field(5);
    const QByteArray content = mail::MessageContent(record, {submission, QDateTime::currentDateTime()});

    if (!content.endsWith("\r\n") || content.count("\r\n") != content.count('\n')
        || content.count('\r') != content.count('\n'))
        Fail("a line end other than CR LF");
    static const QRegularExpression kField(QStringLiteral("\\A[A-Za-z-]+:"));
    bool inHeaders = true;
    for (const QByteArray& line : QByteArray(content).replace("\r\n", "\n").chopped(1).split('\n')) {
        if (line.size() > 998 || line == ".")
            Fail("a line over 998 octets, or one that ends the message early");
        if (inHeaders && line.isEmpty())
            inHeaders = false;
        else if (inHeaders && !line.startsWith(' ') && !kField.match(QString::fromLatin1(line)).hasMatch())
            Fail("a header line that is neither a field nor a continuation");
    }
    if (inHeaders)
        Fail("no blank line after the headers");

    const QString name = mail::OneLine(record.mailFromName);
    if (!ReadsAsOneName(mail::DisplayName(name), name))
        Fail("the sender name does not read back as one display name");
    if (submission) {
        static const QRegularExpression kId(QRegularExpression::anchoredPattern(QStringLiteral("<[A-Za-z0-9-]+@[A-Za-z0-9-]+(\\.[A-Za-z0-9-]+)*>")));
        if (!kId.match(QString::fromLatin1(mail::MessageIdText(record))).hasMatch())
            Fail("a Message-ID that is no msg-id");
    }
    return 0;
}
