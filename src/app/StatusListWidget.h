#pragma once

#include "mail/StatusList.h"

#include <QListWidget>

#include <functional>

namespace app {

// lstLog: the window's list box seen by the mail logic as its status list. Delete and the
// context menu's "Annulla invio" ask for the selected line's message to be called back; the
// menu's "Riprova ora" asks for a held or retrying message to be tried at once.
class StatusListWidget final : public QListWidget, public mail::IStatusList {
    Q_OBJECT
public:
    explicit StatusListWidget(QWidget* parent = nullptr) : QListWidget(parent) {}

    int LineCount() const override { return count(); }
    QString Line(int index) const override;
    void InsertLine(int index, const QString& text) override { insertItem(index, text); }
    void ReplaceLine(int index, const QString& text) override;
    void RemoveLine(int index) override { delete takeItem(index); }
    void Clear() override { clear(); }

    // Whether a line's message can still be called back; "Annulla invio" is offered only then.
    std::function<bool(int line)> canCallBack;
    // Whether a line's message waits for an attempt ("Riprova ora" is offered only then).
    std::function<bool(int line)> canRetryNow;

Q_SIGNALS:
    void callBackRequested(int line);
    void retryRequested(int line);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
};

} // namespace app
