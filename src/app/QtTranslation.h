#pragma once

class QCoreApplication;

namespace app {

// Qt's own texts (the Yes/No/Cancel of message boxes, the context menus of text fields) in
// Italian, like the rest of the window, whatever the desktop's language. The catalogue comes
// from Qt's translations folder (Debian's qt6-translations-l10n); false when it is not there,
// and the English texts stay.
bool LoadQtTranslation(QCoreApplication& application);

} // namespace app
