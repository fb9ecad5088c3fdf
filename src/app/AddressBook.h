#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace app {

// The address book file rubrica.txt and the operations on its entries ("nick" TAB "address").
// The list box itself belongs to the main window; this holds the rules, not the widget.
class AddressBook {
public:
    explicit AddressBook(QString directory);

    QString Path() const;

    // Creates an empty file when none exists, then returns the entries of every line that
    // splits at commas into exactly two fields (nick TAB address, untrimmed). When an existing
    // file cannot be read, returns nothing and sets *error.
    QStringList Load(QString* error = nullptr) const;

    // Replaces the file atomically with one "nick,address" CR LF line per entry (blanks
    // trimmed, parts after a second TAB dropped). On failure returns false and sets *error.
    bool Save(const QStringList& entries, QString* error = nullptr) const;

    // The entries in the container's sort order (ordinal, capitals first).
    static QStringList Sorted(const QStringList& entries);

    // Why a nick/address pair cannot be stored in the file format, or nothing when it can.
    static std::optional<QString> RefusalReason(const QString& nick, const QString& address);

    static QString MakeEntry(const QString& nick, const QString& address);
    // Before and after the first TAB.
    static QString NickOf(const QString& entry);
    static QString AddressOf(const QString& entry);

private:
    QString m_directory;
};

} // namespace app
