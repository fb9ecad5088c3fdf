#include "AddressBook.h"

#include "containers/CArray.h"
#include "mail/AddressRules.h"
#include "platform/PrivateFiles.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringDecoder>

namespace app {

namespace {

const QString kFileName = QStringLiteral("rubrica.txt");
constexpr QChar kTab = u'\t';
constexpr QChar kComma = u',';

// Files written before the switch to UTF-8 came from the Western Windows code page; a line
// that is not valid UTF-8 is taken to be one of those. Line by line, so that one such line (or
// a line of stray bytes) does not turn the accented letters of every other line into garbage.
QString DecodeBookLine(QByteArrayView bytes, QStringDecoder& western)
{
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = utf8.decode(bytes);
    if (!utf8.hasError())
        return text;
    if (western.isValid())
        return western.decode(bytes);
    return QString::fromLatin1(bytes);
}

} // namespace

AddressBook::AddressBook(QString directory) : m_directory(std::move(directory)) {}

QString AddressBook::Path() const
{
    return QDir(m_directory).filePath(kFileName);
}

QStringList AddressBook::Load(QString* error) const
{
    QStringList entries;
    const QString path = Path();
    {
        // Opening for append creates a missing file and leaves an existing one as it is.
        QFile create(path);
        const bool existed = create.exists();
        if (create.open(QIODevice::Append)) {
            if (!existed)
                platform::MakePrivate(create);
            create.close();
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (error)
            *error = QStringLiteral("Impossibile leggere la rubrica \"%1\": %2").arg(path, file.errorString());
        return entries;
    }
    const QByteArray all = file.readAll();
    file.close();

    // Lines end in CR LF; a bare LF and a last line without a break are read as well.
    QStringDecoder western("windows-1252", QStringDecoder::Flag::Stateless);
    qsizetype start = 0;
    while (start < all.size()) {
        qsizetype end = all.indexOf('\n', start);
        if (end < 0)
            end = all.size();
        QByteArrayView bytes(all.constData() + start, end - start);
        if (bytes.endsWith('\r'))
            bytes.chop(1);
        start = end + 1;
        QString line = DecodeBookLine(bytes, western);

        // The format has no escape: only a line with exactly one comma is an entry.
        const qsizetype comma = line.indexOf(kComma);
        if (comma < 0 || line.indexOf(kComma, comma + 1) >= 0)
            continue;
        // A TAB in a field would move the entry's split and cut the address at the next save.
        line.replace(kTab, QLatin1Char(' '));
        entries.append(line.left(comma) + kTab + line.mid(comma + 1));
    }
    return entries;
}

bool AddressBook::Save(const QStringList& entries, QString* error) const
{
    const QString path = Path();
    // QSaveFile writes beside the old file and renames at commit, so a failed or
    // interrupted save leaves the previous address book whole.
    QSaveFile file(path);
    auto fail = [&](const QString& reason) {
        if (error)
            *error = QStringLiteral("Impossibile salvare la rubrica in \"%1\": %2")
                         .arg(QDir::toNativeSeparators(path), reason);
        file.cancelWriting();
        return false;
    };
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    // The new file would take the mode of the old one: a book written 0644 before stays private now.
    platform::MakePrivate(file);

    QByteArray bytes;
    for (const QString& entry : entries) {
        const QStringList parts = entry.split(kTab);
        bytes += mail::TrimSpaces(parts.value(0)).toUtf8();
        bytes += ',';
        bytes += mail::TrimSpaces(parts.value(1)).toUtf8();
        bytes += "\r\n";
    }
    if (file.write(bytes) != bytes.size())
        return fail(file.errorString());
    if (!file.commit())
        return fail(file.errorString());
    return true;
}

QStringList AddressBook::Sorted(const QStringList& entries)
{
    containers::CArray array;
    for (const QString& entry : entries)
        array.AddValue(containers::Variant(entry));
    array.Sort();
    QStringList sorted;
    sorted.reserve(entries.size());
    for (qint32 i = array.LowerBound(); i <= array.UpperBound(); ++i)
        sorted.append(array.Value(i).ToText());
    return sorted;
}

std::optional<QString> AddressBook::RefusalReason(const QString& nick, const QString& address)
{
    // rubrica.txt separates the two fields with a comma and the list with a TAB, and
    // a line break would split the line: none of them can be read back.
    auto unstorable = [](const QString& text) {
        for (QChar c : text) {
            if (c == kComma || c == kTab || c == u'\r' || c == u'\n')
                return true;
        }
        return false;
    };
    if (unstorable(nick) || unstorable(address))
        return QStringLiteral("Il nome e l'indirizzo non possono contenere virgole, tabulazioni "
                              "né a capo: la rubrica non potrebbe rileggerli.");
    return std::nullopt;
}

QString AddressBook::MakeEntry(const QString& nick, const QString& address)
{
    return nick + kTab + address;
}

QString AddressBook::NickOf(const QString& entry)
{
    const qsizetype tab = entry.indexOf(kTab);
    return tab < 0 ? entry : entry.left(tab);
}

QString AddressBook::AddressOf(const QString& entry)
{
    const qsizetype tab = entry.indexOf(kTab);
    return tab < 0 ? QString() : entry.mid(tab + 1);
}

} // namespace app
