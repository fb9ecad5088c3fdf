#pragma once

#include "mail/StatusList.h"

#include <QListWidget>

namespace app {

// lstLog: the window's list box seen by the mail logic as its status list.
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
};

} // namespace app
