#include "frmAccount.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>

namespace app {

namespace {
// The stored words, and what the list shows for them.
const QStringList kSecurityWords = {QStringLiteral("none"), QStringLiteral("starttls"), QStringLiteral("tls")};
const QStringList kSecurityCaptions = {QStringLiteral("Nessuna (porta 25, senza password)"),
                                       QStringLiteral("STARTTLS (porta 587)"),
                                       QStringLiteral("TLS implicito (porta 465)")};
} // namespace

frmAccount::frmAccount(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAccount"));
    setWindowTitle(QStringLiteral("Server e account"));
    setModal(true);

    cboSecurity = new QComboBox(this);
    cboSecurity->setObjectName(QStringLiteral("cboSecurity"));
    cboSecurity->addItems(kSecurityCaptions);
    txtUser = new QLineEdit(this);
    txtUser->setObjectName(QStringLiteral("txtUser"));
    txtUser->setToolTip(QStringLiteral("Il nome con cui accedi al server di posta; vuoto: nessun accesso"));
    txtPassword = new QLineEdit(this);
    txtPassword->setObjectName(QStringLiteral("txtPassword"));
    txtPassword->setEchoMode(QLineEdit::Password);
    txtPassword->setToolTip(QStringLiteral("Custodita nel portachiavi del desktop, mai nel file di configurazione; "
                                           "vuota: resta quella già custodita"));
    txtSmsGateway = new QLineEdit(this);
    txtSmsGateway->setObjectName(QStringLiteral("txtSmsGateway"));
    txtSmsGateway->setToolTip(QStringLiteral("Il dominio del servizio e-mail-SMS del tuo operatore"));

    cmdOk = new QPushButton(QStringLiteral("OK"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setDefault(true);
    cmdAnnulla = new QPushButton(QStringLiteral("Annulla"), this);
    cmdAnnulla->setObjectName(QStringLiteral("cmdAnnulla"));

    auto* form = new QFormLayout(this);
    form->addRow(QStringLiteral("Sicurezza"), cboSecurity);
    form->addRow(QStringLiteral("Utente"), txtUser);
    form->addRow(QStringLiteral("Password"), txtPassword);
    form->addRow(QStringLiteral("Gateway SMS"), txtSmsGateway);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdAnnulla);
    form->addRow(buttons);

    setTabOrder(cboSecurity, txtUser);
    setTabOrder(txtUser, txtPassword);
    setTabOrder(txtPassword, txtSmsGateway);
    setTabOrder(txtSmsGateway, cmdOk);
    setTabOrder(cmdOk, cmdAnnulla);

    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdAnnulla, &QPushButton::clicked, this, &QDialog::reject);
    // The password typed goes no further than the configuration dialog's OK.
    connect(this, &QDialog::rejected, txtPassword, &QLineEdit::clear);
}

void frmAccount::ShowModal(const Values& values)
{
    // A word the session would refuse shows as the first entry, which OK then stores.
    cboSecurity->setCurrentIndex(qMax(0, kSecurityWords.indexOf(values.security.trimmed().toLower())));
    txtUser->setText(values.user);
    txtPassword->setText(values.password);
    txtSmsGateway->setText(values.smsGateway);
    cboSecurity->setFocus(Qt::OtherFocusReason);
    open();
}

frmAccount::Values frmAccount::Result() const
{
    return {kSecurityWords.value(cboSecurity->currentIndex()), txtUser->text().trimmed(), txtPassword->text(),
            txtSmsGateway->text().trimmed()};
}

} // namespace app
