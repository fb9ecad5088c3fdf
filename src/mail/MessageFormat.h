#pragma once

#include "CMessaggio.h"

#include <QByteArray>
#include <QString>

namespace mail {

// The bytes between the DATA reply and the final ".": headers, blank line, text, with
// CR LF line ends and leading dots doubled.
QByteArray MessageContent(const CMessaggio& mail);

// An RFC 2047 encoded word (or several, folded) for header text that is not plain ASCII.
QByteArray EncodeHeaderText(const QString& text);

// The sender's display name for the From header: as typed when it is a plain ASCII phrase, a
// quoted string when it holds specials such as "," or "<", an encoded word when it is not ASCII.
QByteArray DisplayName(const QString& name);

// A field must stay on its own line: a line break in it would start a header or a command.
QString OneLine(QString text);

} // namespace mail
