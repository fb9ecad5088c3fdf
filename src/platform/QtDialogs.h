#pragma once

#include "Dialogs.h"

class QWidget;

namespace platform {

class QtDialogs final : public IDialogs {
public:
    explicit QtDialogs(QWidget* parent = nullptr) : m_parent(parent) {}
    void SetParent(QWidget* parent) { m_parent = parent; }
    void ShowMessage(const QString& text, Icon icon) override;
    bool AskYesNo(const QString& text) override;
    Answer AskYesNoOr(const QString& text, const QString& thirdButton) override;
    void AskPassword(const QString& user, const QString& host, bool storeAvailable,
                     std::function<void(PasswordAnswer)> done) override;
    void AskTrust(const QString& text, std::function<void(bool)> done) override;

private:
    QWidget* m_parent;
};

class QtDesktop final : public IDesktop {
public:
    bool OpenFile(const QString& path) override;
};

} // namespace platform
