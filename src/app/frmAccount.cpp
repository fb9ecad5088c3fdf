#include "frmAccount.h"

#include "mail/OAuthTokens.h"
#include "mail/ProviderLookup.h"
#include "mail/ProviderSettings.h"
#include "platform/QtDnsResolver.h"
#include "platform/QtSecureHttpClient.h"
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
const QString kTrova = QStringLiteral("Trova impostazioni");
const QString kInterrompi = QStringLiteral("Interrompi ricerca");
// How the login proves itself: the password, or a sign-in with one of the providers.
const QStringList kAuthCaptions = {QStringLiteral("Password"), QStringLiteral("Microsoft"), QStringLiteral("Google"),
                                   QStringLiteral("Altro (OAuth 2.0)")};
const QStringList kProviderWords = {QString(), QStringLiteral("microsoft"), QStringLiteral("google"),
                                    QStringLiteral("custom")};
} // namespace

// The lookup on the real network, made when "Trova impostazioni" is first pressed.
struct frmAccount::RealLookup {
    explicit RealLookup(const QString& caFile) : http(caFile), lookup(http, dns, limit) {}
    platform::QtSecureHttpClient http;
    platform::QtDnsResolver dns;
    platform::QtTimer limit;
    mail::ProviderLookup lookup;
};

frmAccount::frmAccount(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("frmAccount"));
    setWindowTitle(QStringLiteral("Server e account"));
    setModal(true);

    txtServer = new QLineEdit(this);
    txtServer->setObjectName(QStringLiteral("txtServer"));
    txtServer->setToolTip(QStringLiteral("Il server di posta in uscita, con la porta dopo i due punti "
                                         "(smtp.esempio.it:465); è lo stesso campo \"SMTP Server\" della configurazione"));
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
    cmdTrova = new QPushButton(kTrova, this);
    cmdTrova->setObjectName(QStringLiteral("cmdTrova"));
    cmdTrova->setAutoDefault(false);
    cmdTrova->setToolTip(QStringLiteral("Cerca server, porta e sicurezza a partire dal tuo indirizzo e-mail: "
                                        "nell'elenco dei provider noti, poi presso il tuo provider e nel DNS. "
                                        "Nulla viene salvato prima di OK"));
    lblSource = new QLabel(this);
    lblSource->setObjectName(QStringLiteral("lblSource"));
    lblSource->setWordWrap(true);

    auto* form = new QFormLayout(this);
    auto* find = new QHBoxLayout;
    find->addWidget(cmdTrova);
    find->addWidget(lblSource, 1);
    form->addRow(find);
    form->addRow(QStringLiteral("Server"), txtServer);
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

    setTabOrder(txtServer, cboSecurity);
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
    setTabOrder(cmdAnnulla, cmdTrova);

    connect(cmdOk, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdAnnulla, &QPushButton::clicked, this, &QDialog::reject);
    // The password typed goes no further than the configuration dialog's OK.
    connect(this, &QDialog::rejected, txtPassword, &QLineEdit::clear);
    connect(cmdTrova, &QPushButton::clicked, this, &frmAccount::cmdTrova_Click);
    // However the dialog closes, a lookup still running is dropped and changes nothing.
    connect(this, &QDialog::finished, this, [this] {
        if (m_searching)
            cmdTrova_Click();
    });
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

frmAccount::~frmAccount() = default;

void frmAccount::ShowModal(const Values& values, bool findAtOnce)
{
    // A word the session would refuse shows as the first entry, which OK then stores.
    cboSecurity->setCurrentIndex(qMax(0, kSecurityWords.indexOf(values.security.trimmed().toLower())));
    m_provider = values.provider;
    txtUser->setText(values.user);
    txtPassword->setText(values.password);
    txtSmsGateway->setText(values.smsGateway);
    txtServer->setText(values.server);
    m_address = values.address;
    lblSource->clear();
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
    if (findAtOnce) {
        cmdTrova->setFocus(Qt::OtherFocusReason);
        cmdTrova_Click();
    }
}

mail::ProviderLookup& frmAccount::Lookup()
{
    if (!m_lookup) {
        m_realLookup = std::make_unique<RealLookup>(m_caFile);
        m_lookup = &m_realLookup->lookup;
    }
    return *m_lookup;
}

void frmAccount::cmdTrova_Click()
{
    mail::ProviderLookup& lookup = Lookup();
    if (m_searching) {
        lookup.Cancel();
        SetSearching(false);
        lblSource->setText(QStringLiteral("Ricerca interrotta: nessun campo è stato cambiato"));
        return;
    }
    // The own address, or the login when that is the address.
    const QString address = m_address.contains(QLatin1Char('@')) ? m_address : txtUser->text();
    connect(&lookup, &mail::ProviderLookup::finished, this, &frmAccount::LookupFinished, Qt::UniqueConnection);
    SetSearching(true);
    lblSource->setText(QStringLiteral("Ricerca delle impostazioni per %1…").arg(address.trimmed()));
    lookup.Start(address);
}

void frmAccount::LookupFinished()
{
    if (!m_searching)
        return;
    SetSearching(false);
    const mail::ProviderLookup::Outcome& outcome = Lookup().Result();
    if (outcome.settings)
        ApplyFound(*outcome.settings);
    lblSource->setText(outcome.line);
}

void frmAccount::SetSearching(bool searching)
{
    m_searching = searching;
    cmdTrova->setText(searching ? kInterrompi : kTrova);
    // What the answer will fill is not edited meanwhile, so it never overwrites a person's typing.
    for (QWidget* field : {static_cast<QWidget*>(txtServer), static_cast<QWidget*>(cboSecurity),
                           static_cast<QWidget*>(txtUser), static_cast<QWidget*>(cboAuth)})
        field->setEnabled(!searching);
}

void frmAccount::ApplyFound(const mail::ProviderSettings& found)
{
    txtServer->setText(found.ServerSetting());
    cboSecurity->setCurrentIndex(qMax(0, kSecurityWords.indexOf(found.security)));
    txtUser->setText(found.user);
    // The sign-in the provider wants, where the program has its preset; a password otherwise.
    const int preset = found.auth == mail::ProviderSettings::Auth::OAuth2 && !found.oauthProvider.isEmpty()
        ? kProviderWords.indexOf(found.oauthProvider)
        : -1;
    const int choice = qMax(0, preset);
    if (choice > 0 && choice != cboAuth->currentIndex()) {
        // Overrides typed for another provider would send this one's sign-in to the wrong place.
        for (QLineEdit* field : {txtClientId, txtClientSecret, txtAuthorizeUrl, txtTokenUrl, txtScope})
            field->clear();
    }
    cboAuth->setCurrentIndex(choice);
    UpdateOAuthFields();
}

frmAccount::Values frmAccount::Result() const
{
    Values values;
    values.security = kSecurityWords.value(cboSecurity->currentIndex());
    values.user = txtUser->text().trimmed();
    values.password = txtPassword->text();
    values.smsGateway = txtSmsGateway->text().trimmed();
    values.server = txtServer->text();
    values.address = m_address;
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
