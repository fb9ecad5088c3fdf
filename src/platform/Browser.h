#pragma once

#include <QUrl>

namespace platform {

// The user's own web browser, for a sign-in page. Returns at once; false when no browser could
// be started.
class IBrowser {
public:
    virtual ~IBrowser() = default;
    virtual bool OpenUrl(const QUrl& url) = 0;
};

} // namespace platform
