#include "QtBrowser.h"

#include <QDesktopServices>

namespace platform {

bool QtBrowser::OpenUrl(const QUrl& url)
{
    return QDesktopServices::openUrl(url);
}

} // namespace platform
