#pragma once

#include "CMessaggio.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

namespace mail {

// How a message goes out. A plain relay gets the three header lines it always got; a
// provider's submission server also gets the Date and Message-ID its filters expect.
struct ContentOptions {
    bool submission = false;
    // The moment of sending, in local time: Date carries it with the local offset. Now, when
    // left invalid.
    QDateTime sendTime;
};

// The bytes between the DATA reply and the final ".": headers, blank line, text, with
// CR LF line ends and leading dots doubled.
QByteArray MessageContent(const CMessaggio& mail, const ContentOptions& options = {});

// RFC 5322 date-time with English names and the numeric offset, "Sun, 06 Dec 2026 17:05:09 +0100".
QByteArray DateHeaderText(const QDateTime& time);

// "<" + id + "@" + the sender's domain + ">", the same for every attempt at one record.
QByteArray MessageIdText(const CMessaggio& mail);

// An RFC 2047 encoded word (or several, folded) for header text that is not plain ASCII.
QByteArray EncodeHeaderText(const QString& text);

// The sender's display name for the From header: as typed when it is a plain ASCII phrase, a
// quoted string when it holds specials such as "," or "<", an encoded word when it is not ASCII.
QByteArray DisplayName(const QString& name);

// A field must stay on its own line: a line break in it would start a header or a command.
QString OneLine(QString text);

} // namespace mail
