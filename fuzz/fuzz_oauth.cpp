// The two texts of a sign-in that come from outside: the token endpoint's JSON and the request
// the browser sends to the loopback redirect. The first byte picks which one the rest is. Checks
// that neither crashes, that a token only comes with no error, and that an error code stays a
// short word fit for a status line.
#include "FuzzCheck.h"
#include "mail/OAuthTokens.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0)
        return 0;
    const QByteArray bytes(reinterpret_cast<const char*>(data) + 1, static_cast<qsizetype>(size - 1));
    if (data[0] & 1) {
        const mail::TokenReply reply = mail::ParseTokenReply(bytes);
        if ((reply.ok && (reply.accessToken.isEmpty() || !reply.error.isEmpty())) || reply.error.size() > 64
            || reply.error.contains(QLatin1Char('\n')) || reply.expiresIn < 0)
            Fail("an unusable token reply");
    } else {
        const mail::RedirectRequest request = mail::ParseRedirectRequest(bytes);
        if ((request.valid && (!request.complete || (request.code.isEmpty() && request.error.isEmpty())))
            || request.error.size() > 64)
            Fail("an unusable redirect request");
    }
    return 0;
}
