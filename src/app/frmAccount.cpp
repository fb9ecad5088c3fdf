#include "frmAccount.h"

#include "mail/OAuthTokens.h"
#include "settings/modMain.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace app {

namespace {
// The stored words, and what the list shows for them.
const QStringList kSecurityWords = {QStringLiteral("none"), QStringLiteral("starttls"), QStringLiteral("tls")};
const QStringList kSecurityCaptions = {QStringLiteral("Nessuna (porta 25, senza password)"),
                                       QStringLiteral("STARTTLS (porta 587)"),
                                       QStringLiteral("TLS implicito (porta 465)")};
// How the login proves itself: the password, or a sign-in with one of the providers.
const QStringList kAuthCaptions = {QStringLiteral("Password"), QStringLiteral("Microsoft"), QStringLiteral("Google"),
                                   QStringLiteral("Altro (OAuth 2.0)")};
const QStringList kProviderWords = {QString(), QStringLiteral("microsoft"), QStringLiteral("google"),
                                    QStringLiteral("custom")};
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

    cboAuth = new QComboBox(this);
    cboAuth->setObjectName(QStringLiteral("cboAuth"));
    cboAuth->addItems(kAuthCaptions);
    const auto line = [this](const char* name, const QString& tip) {
        auto* field = new QLineEdit(this);
        field->setObjectName(QLatin1String(name));
        field->setToolTip(tip);
        return field;
    };
    txtClientId = line("txtClientId", QStringLiteral("L'ID del client registrato presso il fornitore; vuoto: quello "
                                                     "incluso nel programma, se c'è"));
    txtClientSecret = line("txtClientSecret", QStringLiteral("Solo se il fornitore ne dà uno al client desktop"));
    txtAuthorizeUrl = line("txtAuthorizeUrl", QStringLiteral("Vuoto: quello del fornitore scelto"));
    txtTokenUrl = line("txtTokenUrl", QStringLiteral("Vuoto: quello del fornitore scelto"));
    txtScope = line("txtScope", QStringLiteral("Vuoto: quello del fornitore scelto"));
    cmdAccedi = new QPushButton(QStringLiteral("Accedi ora"), this);
    cmdAccedi->setObjectName(QStringLiteral("cmdAccedi"));
    cmdAccedi->setAutoDefault(false);
    lblOAuth = new QLabel(this);
    lblOAuth->setObjectName(QStringLiteral("lblOAuth"));
    lblOAuth->setWordWrap(true);

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
    form->addRow(QStringLiteral("Accesso"), cboAuth);
    form->addRow(QStringLiteral("ID client"), txtClientId);
    form->addRow(QStringLiteral("Segreto client"), txtClientSecret);
    form->addRow(QStringLiteral("URL autorizzazione"), txtAuthorizeUrl);
    form->addRow(QStringLiteral("URL token"), txtTokenUrl);
    form->addRow(QStringLiteral("Ambito (scope)"), txtScope);
    form->addRow(cmdAccedi, lblOAuth);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdOk);
    buttons->addWidget(cmdAnnulla);
    form->addRow(buttons);

    setTabOrder(cboSecurity, txtUser);
    setTabOrder(txtUser, txtPassword);
    setTabOrder(txtPassword, txtSmsGateway);
    setTabOrder(txtSmsGateway, cboAuth);
    setTabOrder(cboAuth, txtClientId);
    setTabOrder(txtClientId, txtClientSecret);
    setTabOrder(txtClientSecret, txtAuthorizeUrl);
    setTabOrder(txtAuthorizeUrl, txtTokenUrl);
    setTabOrder(txtTokenUrl, txtScope);
    setTabOrder(txtScope, cmdAccedi);
    setTabOrder(cmdAccedi, cmdOk);
    setTabOrder(cmdOk, cmdAnnulla);

    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdAnnulla, &QPushButton::clicked, this, &QDialog::reject);
    // The password typed goes no further than the configuration dialog's OK.
    connect(this, &QDialog::rejected, txtPassword, &QLineEdit::clear);
    connect(cboAuth, &QComboBox::currentIndexChanged, this, &frmAccount::UpdateOAuthFields);
    for (QLineEdit* field : {txtUser, txtClientId, txtAuthorizeUrl, txtTokenUrl, txtScope})
        connect(field, &QLineEdit::textChanged, this, &frmAccount::UpdateOAuthFields);
    connect(cmdAccedi, &QPushButton::clicked, this, [this] {
        lblOAuth->setText(QStringLiteral("Accesso in corso…"));
        cmdAccedi->setEnabled(false);
        Q_EMIT signInRequested(Result());
    });
}

void frmAccount::UpdateOAuthFields()
{
    const bool oauth = cboAuth->currentIndex() > 0;
    for (QWidget* field : {static_cast<QWidget*>(txtClientId), static_cast<QWidget*>(txtClientSecret),
                           static_cast<QWidget*>(txtAuthorizeUrl), static_cast<QWidget*>(txtTokenUrl),
                           static_cast<QWidget*>(txtScope)})
        field->setEnabled(oauth);
    txtPassword->setEnabled(!oauth);
    // Says at once what is missing, rather than at the first message.
    QString why;
    if (oauth) {
        const Values values = Result();
        settings::ModMain trial;
        trial.User = values.user;
        trial.OAuthProvider = values.provider;
        trial.OAuthClientId = values.clientId;
        trial.OAuthAuthorizeUrl = values.authorizeUrl;
        trial.OAuthTokenUrl = values.tokenUrl;
        trial.OAuthScope = values.scope;
        if (values.user.isEmpty())
            why = QStringLiteral("Indicare l'utente (l'indirizzo dell'account)");
        else
            mail::OAuthConfig::Resolve(trial, QString(), &why);
    }
    lblOAuth->setText(why);
    cmdAccedi->setEnabled(oauth && why.isEmpty());
}

void frmAccount::ShowSignInResult(bool ok, const QString& reason)
{
    lblOAuth->setText(ok ? QStringLiteral("Accesso riuscito") : reason);
    cmdAccedi->setEnabled(cboAuth->currentIndex() > 0);
}

void frmAccount::ShowModal(const Values& values)
{
    // A word the session would refuse shows as the first entry, which OK then stores.
    cboSecurity->setCurrentIndex(qMax(0, kSecurityWords.indexOf(values.security.trimmed().toLower())));
    m_provider = values.provider;
    txtUser->setText(values.user);
    txtPassword->setText(values.password);
    txtSmsGateway->setText(values.smsGateway);
    const bool oauth = values.auth.trimmed().compare(QLatin1String("oauth2"), Qt::CaseInsensitive) == 0;
    cboAuth->setCurrentIndex(oauth ? qMax(1, kProviderWords.indexOf(values.provider.trimmed().toLower())) : 0);
    txtClientId->setText(values.clientId);
    txtClientSecret->setText(values.clientSecret);
    txtAuthorizeUrl->setText(values.authorizeUrl);
    txtTokenUrl->setText(values.tokenUrl);
    txtScope->setText(values.scope);
    UpdateOAuthFields();
    cboSecurity->setFocus(Qt::OtherFocusReason);
    open();
}

frmAccount::Values frmAccount::Result() const
{
    Values values;
    values.security = kSecurityWords.value(cboSecurity->currentIndex());
    values.user = txtUser->text().trimmed();
    values.password = txtPassword->text();
    values.smsGateway = txtSmsGateway->text().trimmed();
    const int auth = cboAuth->currentIndex();
    values.auth = auth > 0 ? QStringLiteral("oauth2") : QStringLiteral("password");
    // Password keeps the provider last chosen, so switching back and forth loses nothing.
    values.provider = auth > 0 ? kProviderWords.value(auth) : m_provider;
    values.clientId = txtClientId->text().trimmed();
    values.clientSecret = txtClientSecret->text().trimmed();
    values.authorizeUrl = txtAuthorizeUrl->text().trimmed();
    values.tokenUrl = txtTokenUrl->text().trimmed();
    values.scope = txtScope->text().trimmed();
    return values;
}

} // namespace app
