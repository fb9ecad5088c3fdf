#include "QtBrowser.h"

#include <QDesktopServices>
#include <QProcess>

namespace platform {

bool QtBrowser::OpenUrl(const QUrl& url)
{
    if (QDesktopServices::openUrl(url))
        return true;
    // A platform plugin without desktop services (offscreen, a bare window manager) still has
    // the freedesktop opener the desktop services would have run.
    return QProcess::startDetached(QStringLiteral("xdg-open"), {url.toString(QUrl::FullyEncoded)});
}

} // namespace platform
