#pragma once

#include <QDialog>

class QComboBox;
class QLabel;
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
        // Signing in: "password" or "oauth2"; the provider and its overrides (empty: the preset's).
        QString auth = QStringLiteral("password");
        QString provider = QStringLiteral("microsoft");
        QString clientId;
        QString clientSecret;
        QString authorizeUrl;
        QString tokenUrl;
        QString scope;
    };

    explicit frmAccount(QWidget* parent = nullptr);

    // Shows the values, application-modal, and returns at once; accepted() reports OK.
    void ShowModal(const Values& values);
    Values Result() const;
    // The answer to "Accedi ora": ok, or the reason it did not work.
    void ShowSignInResult(bool ok, const QString& reason);

Q_SIGNALS:
    // "Accedi ora" with the values on screen.
    void signInRequested(const frmAccount::Values& values);

private:
    void UpdateOAuthFields();

    QComboBox* cboSecurity = nullptr;
    QLineEdit* txtUser = nullptr;
    QLineEdit* txtPassword = nullptr;
    QLineEdit* txtSmsGateway = nullptr;
    QComboBox* cboAuth = nullptr;
    QLineEdit* txtClientId = nullptr;
    QLineEdit* txtClientSecret = nullptr;
    QLineEdit* txtAuthorizeUrl = nullptr;
    QLineEdit* txtTokenUrl = nullptr;
    QLineEdit* txtScope = nullptr;
    QPushButton* cmdAccedi = nullptr;
    QLabel* lblOAuth = nullptr;
    QString m_provider;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdAnnulla = nullptr;
};

} // namespace app
