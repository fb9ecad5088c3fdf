#include "StatusListWidget.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QPersistentModelIndex>

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

void StatusListWidget::keyPressEvent(QKeyEvent* event)
{
    // The selected line only: Tab into the list makes a line current without anybody choosing it.
    const QList<QListWidgetItem*> selected = selectedItems();
    if (event->key() == Qt::Key_Delete && event->modifiers() == Qt::NoModifier && !selected.isEmpty()) {
        Q_EMIT callBackRequested(row(selected.first()));
        return;
    }
    QListWidget::keyPressEvent(event);
}

void StatusListWidget::contextMenuEvent(QContextMenuEvent* event)
{
    // From the keyboard the menu belongs to the current line, from the mouse to the line under it.
    const QListWidgetItem* line = event->reason() == QContextMenuEvent::Mouse ? itemAt(event->pos()) : currentItem();
    if (!line)
        return;
    const int row = this->row(line);
    setCurrentRow(row);
    auto* menu = new QMenu(this);
    menu->setObjectName(QStringLiteral("mnuLstLog"));
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* annulla = menu->addAction(QStringLiteral("Annulla invio"));
    annulla->setObjectName(QStringLiteral("mnuAnnullaInvio"));
    annulla->setEnabled(!canCallBack || canCallBack(row));
    QAction* riprova = menu->addAction(QStringLiteral("Riprova ora"));
    riprova->setObjectName(QStringLiteral("mnuRiprovaOra"));
    riprova->setEnabled(canRetryNow && canRetryNow(row));
    // Lines may move while the menu is open (an "ERR - " line goes on top): follow this one.
    const QPersistentModelIndex index(indexFromItem(line));
    connect(annulla, &QAction::triggered, this, [this, index] {
        if (index.isValid())
            Q_EMIT callBackRequested(index.row());
    });
    connect(riprova, &QAction::triggered, this, [this, index] {
        if (index.isValid())
            Q_EMIT retryRequested(index.row());
    });
    // popup, not exec: the timers and the session go on while the menu is open.
    menu->popup(event->reason() == QContextMenuEvent::Mouse ? event->globalPos()
                                                           : viewport()->mapToGlobal(visualItemRect(line).center()));
    event->accept();
}

} // namespace app
