#pragma once

#include <QString>

namespace mail {

// "34" and eight more digits, nothing else, becomes that number + "@" + gateway domain.
QString ApplyMobileNumberRule(const QString& text, const QString& gatewayDomain);

// Exactly ten digits + "@" + gateway domain, case-sensitive.
bool IsGatewayAddress(const QString& text, const QString& gatewayDomain);

// What keeps an address from standing alone between "<" and ">" of MAIL FROM or RCPT TO, and
// on one line of the send log: "<" or ">", blanks, control characters, more than one "@".
// Empty when there is nothing against it; otherwise the reason, to be shown to the user.
QString AddressProblem(const QString& address);

// True when every character is ASCII: otherwise the address needs a server that offers SMTPUTF8.
bool IsAscii(const QString& text);

// Removes the space character (only U+0020) from both ends.
QString TrimSpaces(const QString& text);

} // namespace mail
