#pragma once

#include <QString>

namespace mail {

// "34" and eight more digits, nothing else, becomes that number + "@" + gateway domain.
QString ApplyMobileNumberRule(const QString& text, const QString& gatewayDomain);

// Exactly ten digits + "@" + gateway domain, case-sensitive.
bool IsGatewayAddress(const QString& text, const QString& gatewayDomain);

// Removes the space character (only U+0020) from both ends.
QString TrimSpaces(const QString& text);

} // namespace mail
