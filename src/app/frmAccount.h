#pragma once

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace mail {
class ProviderLookup;
struct ProviderSettings;
} // namespace mail

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
        QString server;  // the SMTP setting, "host" or "host:port"
        QString address; // the own address "Trova impostazioni" looks up; not edited here
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
    ~frmAccount() override;

    // Shows the values, application-modal, and returns at once; accepted() reports OK.
    // findAtOnce: start "Trova impostazioni" as soon as the dialog is up.
    void ShowModal(const Values& values, bool findAtOnce = false);
    Values Result() const;
    // The answer to "Accedi ora": ok, or the reason it did not work.
    void ShowSignInResult(bool ok, const QString& reason);

    // "Trova impostazioni" asks this lookup; without one it makes its own on the real network
    // when first pressed, trusting the certificates in caFile besides the system's.
    void SetProviderLookup(mail::ProviderLookup* lookup) { m_lookup = lookup; }
    void SetCaFile(const QString& caFile) { m_caFile = caFile; }
    // Puts a found result into the fields it concerns; nothing is kept before OK.
    void ApplyFound(const mail::ProviderSettings& found);

    void cmdTrova_Click();

Q_SIGNALS:
    // "Accedi ora" with the values on screen.
    void signInRequested(const frmAccount::Values& values);

private:
    void LookupFinished();
    void SetSearching(bool searching);
    mail::ProviderLookup& Lookup();
    void UpdateOAuthFields();

    struct RealLookup;
    std::unique_ptr<RealLookup> m_realLookup;
    mail::ProviderLookup* m_lookup = nullptr;
    QString m_caFile;
    QString m_address;
    bool m_searching = false;

    QLineEdit* txtServer = nullptr;
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
    QPushButton* cmdTrova = nullptr;
    QLabel* lblSource = nullptr;
};

} // namespace app
