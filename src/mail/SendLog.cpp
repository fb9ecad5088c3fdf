#include "SendLog.h"

#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QLocale>

namespace mail {

namespace {
// The locale's long time pattern with its time-zone part removed: the log shows the
// time with seconds, and a zone name only adds noise that changes twice a year.
QString TimePatternWithSeconds(const QLocale& locale)
{
    const QString pattern = locale.timeFormat(QLocale::LongFormat);
    QString out;
    bool quoted = false;
    for (QChar c : pattern) {
        if (c == QLatin1Char('\''))
            quoted = !quoted;
        if (!quoted && c == QLatin1Char('t'))
            continue;
        out += c;
    }
    out = out.simplified();
    // A pattern without seconds (seen in a few locales) gets them after the minutes.
    if (!out.contains(QLatin1Char('s'))) {
        const qsizetype minutes = out.lastIndexOf(QLatin1String("mm"));
        if (minutes >= 0)
            out.insert(minutes + 2, QLatin1String(":ss"));
    }
    return out;
}
// One entry, one line: a line break from any field would let one entry pose as several. Breaks
// in the text show as " / "; every other control character becomes a blank.
QString OnOneLine(const QString& field)
{
    QString out;
    out.reserve(field.size());
    for (qsizetype i = 0; i < field.size(); ++i) {
        const QChar c = field.at(i);
        if (c == QLatin1Char('\r') && i + 1 < field.size() && field.at(i + 1) == QLatin1Char('\n'))
            continue; // CR LF is one break
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator || c == QChar::ParagraphSeparator)
            out += QLatin1String(" / ");
        else if (c.unicode() < 0x20 || c.unicode() == 0x7f || c.category() == QChar::Other_Control)
            out += QLatin1Char(' ');
        else
            out += c;
    }
    return out;
}
} // namespace

SendLog::SendLog(QString directory, const platform::IClock& clock)
    : m_directory(std::move(directory)), m_clock(clock)
{
}

QString SendLog::Path() const
{
    return QDir(m_directory).filePath(QStringLiteral("log.txt"));
}

QString SendLog::Entry(const CMessaggio& currentMail) const
{
    const QDateTime now = platform::FromDays(m_clock.Now());
    const QLocale locale = QLocale::system();
    const QString stamp = locale.toString(now.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + locale.toString(now.time(), TimePatternWithSeconds(locale));
    return stamp + QLatin1Char(' ') + OnOneLine(currentMail.mailTo) + QLatin1Char(' ') + OnOneLine(currentMail.mailToNick)
        + QStringLiteral(" - ") + OnOneLine(currentMail.mailSubject) + QStringLiteral(" - ")
        + OnOneLine(currentMail.mailText) + QStringLiteral("\r\n");
}

void SendLog::WriteSendLog(const CMessaggio& currentMail)
{
    // Any failure (no permission, full disk, locked file) is ignored: the message went out.
    QFile file(Path());
    const bool existed = file.exists();
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append))
        return;
    if (!existed)
        platform::MakePrivate(file);
    file.write(Entry(currentMail).toUtf8());
    file.close();
}

} // namespace mail
