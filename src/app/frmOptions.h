#pragma once

#include "frmAccount.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace settings {
struct ModMain;
}
namespace mail {
class Passwords;
class ProviderLookup;
} // namespace mail

namespace app {

// The configuration dialog: edits the settings variables in memory; only OK changes them.
// The main window creates it once and keeps it.
class frmOptions : public QDialog {
    Q_OBJECT
public:
    frmOptions(settings::ModMain& settings, QWidget* parent = nullptr);

    // Form_Load, then shows the dialog application-modal and returns at once: the program
    // runs no nested event loop. QDialog::finished reports the closing (Accepted after OK,
    // Rejected after Annulla, Esc or the close box); the main window refreshes its labels then.
    // While the dialog is open, a second call only raises it and keeps what has been typed.
    void ShowModal();
    // Where OK puts a password typed under "Server e account" (the secret store and the run's memory).
    void SetPasswords(mail::Passwords* passwords) { m_passwords = passwords; }
    // What "Trova impostazioni" asks; null: the real network, when first pressed.
    void SetProviderLookup(mail::ProviderLookup* lookup) { m_lookup = lookup; }
    // "Accedi ora": signs in with trial settings (the fields on screen) and answers ok or why not.
    using SignIn = std::function<void(const settings::ModMain& trial, std::function<void(bool ok, QString why)> done)>;
    void SetSignIn(SignIn signIn) { m_signIn = std::move(signIn); }

    void Form_Load();

    // The handlers, public so the main window's tests can drive them without a click.
    void cmdOk_Click();
    void cmdAnnulla_Click();
    void chkPallavoloA1_finali_Click();
    void chkPallavoloA1_parziali_Click();
    void txtDest_GotFocus(int index);
    void txtDest_Validate(int index);
    void cmdAccount_Click();
    // Offered while no server is set: "Server e account" opens and looks the address up at once.
    void cmdTrovaImpostazioni_Click();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void OpenAccount(bool findAtOnce);
    int DestIndexOf(QObject* watched) const;

    settings::ModMain& m_settings;
    mail::Passwords* m_passwords = nullptr;
    mail::ProviderLookup* m_lookup = nullptr;
    SignIn m_signIn;
    frmAccount::Values m_account; // applied by OK, like every other field
    frmAccount* m_accountDialog = nullptr;

    QLabel* Label1 = nullptr;
    QLineEdit* txtSMTP = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtFrom = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label5 = nullptr;
    QLineEdit* txtTempoAttesa = nullptr;
    QGroupBox* Frame1 = nullptr;
    QCheckBox* chkSerieA = nullptr;
    QCheckBox* chkSerieB = nullptr;
    QCheckBox* chkTuttiGol = nullptr;
    QCheckBox* chkPallavoloA1_finali = nullptr;
    QCheckBox* chkPallavoloA1_parziali = nullptr;
    QLabel* Label6 = nullptr;
    QLineEdit* txtPallavoloDettaglio = nullptr;
    QCheckBox* chkNotizie = nullptr;
    QLabel* Label4 = nullptr;
    std::array<QLineEdit*, 3> txtDest{};
    QLabel* Label3 = nullptr;
    QPushButton* cmdAnnulla = nullptr;
    QPushButton* cmdOk = nullptr;
    QPushButton* cmdAccount = nullptr;
    QPushButton* cmdTrovaImpostazioni = nullptr;
};

} // namespace app
