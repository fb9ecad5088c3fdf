#include "StatusListWidget.h"

namespace app {

QString StatusListWidget::Line(int index) const
{
    const QListWidgetItem* line = item(index);
    return line ? line->text() : QString();
}

void StatusListWidget::ReplaceLine(int index, const QString& text)
{
    // The line may have gone with a "Clear" while its message was in session.
    if (QListWidgetItem* line = item(index))
        line->setText(text);
}

} // namespace app
