#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace app {

// Open while the sign-in page waits in the browser; Annulla (or Esc) gives up waiting.
class frmSignIn : public QDialog {
    Q_OBJECT
public:
    explicit frmSignIn(QWidget* parent = nullptr);
    // Shows the window for the account, window-modal, and returns at once.
    void ShowFor(const QString& account);

Q_SIGNALS:
    void cancelled();

private:
    QLabel* lblAccount = nullptr;
    QPushButton* cmdAnnulla = nullptr;
    bool m_closing = false; // closed by the program: no cancel
public:
    // The sign-in has ended by itself.
    void CloseQuietly();
};

} // namespace app
