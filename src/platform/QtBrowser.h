#pragma once

#include "Browser.h"

namespace platform {

// Through the desktop (xdg-open on Linux), never a web view of our own.
class QtBrowser final : public IBrowser {
public:
    bool OpenUrl(const QUrl& url) override;
};

} // namespace platform
