#pragma once

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace app {

// "Server e account": how the server is reached (Security), the login and its password, and the
// operator's SMS gateway. Edits the values the configuration dialog hands it; the configuration
// dialog's OK is what applies them.
class frmAccount : public QDialog {
    Q_OBJECT
public:
    struct Values {
        QString security; // "none", "starttls" or "tls"
        QString user;
        QString password; // empty: unchanged
        QString smsGateway;
    };

    explicit frmAccount(QWidget* parent = nullptr);

    // Shows the values, application-modal, and returns at once; accepted() reports OK.
    void ShowModal(const Values& values);
    Values Result() const;

private:
    QComboBox* cboSecurity = nullptr;
    QLineEdit* txtUser = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtSmsGateway = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdAnnulla = nullptr;
};

} // namespace app
