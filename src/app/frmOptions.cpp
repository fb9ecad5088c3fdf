#include "frmOptions.h"

#include "mail/AddressRules.h"
#include "mail/Passwords.h"
#include "mail/SmtpAddress.h"
#include "settings/modMain.h"

#include <QCheckBox>
#include <QEvent>
#include <QFocusEvent>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

#include <iterator>

namespace app {

namespace {

// The layout is drawn in twips; this screen has 15 twips to the pixel.
constexpr int Px(int twips)
{
    return twips / 15;
}

void Place(QWidget* w, int left, int top, int width, int height)
{
    w->setGeometry(Px(left), Px(top), Px(width), Px(height));
}

template <class W>
W* Make(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* w = new W(parent);
    w->setObjectName(QLatin1String(name));
    Place(w, left, top, width, height);
    return w;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, int left, int top,
                  int width, int height)
{
    auto* label = Make<QLabel>(parent, name, left, top, width, height);
    label->setText(caption);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    return label;
}

QCheckBox* MakeCheck(QWidget* parent, const char* name, const QString& caption, int left, int top,
                     int width, int height)
{
    auto* box = Make<QCheckBox>(parent, name, left, top, width, height);
    box->setText(caption);
    return box;
}

} // namespace

frmOptions::frmOptions(settings::ModMain& settings, QWidget* parent) : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("frmOptions"));
    setWindowTitle(QStringLiteral("Configurazione"));
    setModal(true);
    // The layout is fixed, so the font is too: DejaVu Sans (always installed with the
    // program), 11 pixels, condensed, is where every caption fits its box.
    QFont dialogFont(QStringLiteral("DejaVu Sans"));
    dialogFont.setPixelSize(11);
    dialogFont.setStretch(QFont::Condensed);
    setFont(dialogFont);
    BuildControls();
    setFixedSize(Px(8220), Px(5535));
}

void frmOptions::BuildControls()
{
    Label1 = MakeLabel(this, "Label1", QStringLiteral("SMTP Server"), 120, 240, 960, 195);
    txtSMTP = Make<QLineEdit>(this, "txtSMTP", 1200, 180, 3075, 315);
    txtSMTP->setToolTip(QStringLiteral("Tanto per intenderci, quello che c'è in Outlook / Strumenti / "
                                       "Account / Proprietà / Server / Posta in uscita SMTP"));
    Label2 = MakeLabel(this, "Label2", QStringLiteral("From (email)"), 120, 600, 840, 195);
    txtFrom = Make<QLineEdit>(this, "txtFrom", 1200, 540, 3075, 315);
    txtFrom->setToolTip(QStringLiteral(
        "Il tuo indirizzo e-mail, usato come mittente. Per inviare SMS attraverso il servizio "
        "e-mail-SMS del tuo operatore telefonico deve essere l'indirizzo con cui sei registrato "
        "sul sito dell'operatore."));

    Frame2 = Make<QGroupBox>(this, "Frame2", 120, 1020, 3675, 855);
    Frame2->setTitle(QStringLiteral("Opzioni"));
    Label5 = MakeLabel(Frame2, "Label5", QStringLiteral("Tempo prima dell'invio effettivo (secondi)"),
                       180, 240, 1995, 375);
    Label5->setWordWrap(true);
    txtTempoAttesa = Make<QLineEdit>(Frame2, "txtTempoAttesa", 2160, 300, 615, 315);

    Frame1 = Make<QGroupBox>(this, "Frame1", 3900, 1020, 4275, 3675);
    Frame1->setTitle(QStringLiteral("Invio news automatiche"));
    chkSerieA = MakeCheck(Frame1, "chkSerieA", QStringLiteral("Calcio Serie A"), 180, 240, 1755, 255);
    chkSerieB = MakeCheck(Frame1, "chkSerieB", QStringLiteral("Calcio Serie B"), 180, 480, 1755, 255);
    chkTuttiGol = MakeCheck(Frame1, "chkTuttiGol", QStringLiteral("Invia anche i marcatori"), 180, 720,
                            2055, 255);
    chkPallavoloA1_finali = MakeCheck(Frame1, "chkPallavoloA1_finali",
                                      QStringLiteral("Pallavolo Serie A - finali"), 180, 1020, 3075, 255);
    // 255 twips high like its neighbours rather than 195: the check mark is taller than 13 pixels.
    chkPallavoloA1_parziali = MakeCheck(Frame1, "chkPallavoloA1_parziali",
                                        QStringLiteral("Pallavolo Serie A - parziali"), 180, 1260, 3555,
                                        255);
    Label6 = MakeLabel(Frame1, "Label6", QStringLiteral("Squadra dettaglio"), 180, 1560, 1245, 195);
    txtPallavoloDettaglio = Make<QLineEdit>(Frame1, "txtPallavoloDettaglio", 1500, 1500, 1335, 285);
    txtPallavoloDettaglio->setToolTip(
        QStringLiteral("Indicare squadra per la quale si vuole dettaglio oppure * per tutte le squadre"));
    chkNotizie = MakeCheck(Frame1, "chkNotizie", QStringLiteral("Invia titoli notizie"), 180, 1860,
                           2175, 255);
    Label4 = MakeLabel(Frame1, "Label4", QStringLiteral("Indirizzi dei destinatari"), 120, 2220, 3255,
                       255);
    const char* destNames[] = {"txtDest0", "txtDest1", "txtDest2"};
    for (int i = 0; i < 3; ++i) {
        txtDest[i] = Make<QLineEdit>(Frame1, destNames[i], 120, 2460 + 360 * i, 3255, 315);
        txtDest[i]->installEventFilter(this);
    }

    Label3 = MakeLabel(this, "Label3",
                       QStringLiteral(
                           "Brevilo è offerto così com'è, senza alcuna garanzia. Chi lo usa risponde "
                           "dei messaggi che invia e deve rispettare le condizioni d'uso del proprio "
                           "server di posta e del servizio SMS del proprio operatore. Le notizie "
                           "automatiche riprendono testi di siti altrui: sono solo per uso personale."),
                       120, 2760, 3675, 1635);
    Label3->setWordWrap(true);

    cmdAnnulla = Make<QPushButton>(this, "cmdAnnulla", 3300, 4860, 795, 555);
    cmdAnnulla->setText(QStringLiteral("Annulla"));
    cmdOk = Make<QPushButton>(this, "cmdOk", 4320, 4860, 795, 555);
    cmdOk->setText(QStringLiteral("OK"));
    cmdOk->setDefault(true);
    // Server security, login, password and SMS gateway in a dialog of their own, last in the order.
    cmdAccount = Make<QPushButton>(this, "cmdAccount", 120, 4860, 2055, 555);
    cmdAccount->setText(QStringLiteral("Server e account…"));
    cmdAccount->setAutoDefault(false);
    // For a first start, beside the address it starts from; hidden once a server is set.
    cmdTrovaImpostazioni = Make<QPushButton>(this, "cmdTrovaImpostazioni", 4380, 525, 2160, 345);
    cmdTrovaImpostazioni->setText(QStringLiteral("Trova impostazioni"));
    cmdTrovaImpostazioni->setToolTip(QStringLiteral("Cerca il server di posta in uscita a partire dal tuo indirizzo e-mail"));
    cmdTrovaImpostazioni->setAutoDefault(false);

    QWidget* order[] = {txtSMTP,    txtFrom,    cmdTrovaImpostazioni, txtTempoAttesa, chkSerieA,
                        chkSerieB,  chkTuttiGol, chkPallavoloA1_finali, chkPallavoloA1_parziali,
                        txtPallavoloDettaglio, chkNotizie, txtDest[0], txtDest[1],
                        txtDest[2], cmdOk,      cmdAnnulla, cmdAccount};
    for (size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(cmdOk, &QPushButton::clicked, this, &frmOptions::cmdOk_Click);
    connect(cmdAnnulla, &QPushButton::clicked, this, &frmOptions::cmdAnnulla_Click);
    connect(cmdAccount, &QPushButton::clicked, this, &frmOptions::cmdAccount_Click);
    connect(cmdTrovaImpostazioni, &QPushButton::clicked, this, &frmOptions::cmdTrovaImpostazioni_Click);
    // toggled also fires when Form_Load sets a box, so the interlock holds then too.
    connect(chkPallavoloA1_finali, &QCheckBox::toggled, this, &frmOptions::chkPallavoloA1_finali_Click);
    connect(chkPallavoloA1_parziali, &QCheckBox::toggled, this,
            &frmOptions::chkPallavoloA1_parziali_Click);
}

void frmOptions::ShowModal()
{
    if (isVisible()) {
        raise();
        activateWindow();
        return;
    }
    Form_Load();
    txtSMTP->setFocus(Qt::OtherFocusReason);
    show();
    activateWindow();
}

void frmOptions::Form_Load()
{
    txtFrom->setText(m_settings.From);
    txtSMTP->setText(m_settings.SMTP);
    txtTempoAttesa->setText(QString::number(m_settings.TempoAttesa));

    chkSerieA->setChecked(m_settings.SerieA);
    chkSerieB->setChecked(m_settings.SerieB);
    chkPallavoloA1_finali->setChecked(m_settings.PallavoloA1_finali);
    chkPallavoloA1_parziali->setChecked(m_settings.PallavoloA1_parziali);

    txtPallavoloDettaglio->setText(m_settings.PallavoloDettaglio);

    chkNotizie->setChecked(m_settings.Notizie);
    chkTuttiGol->setChecked(m_settings.TuttiGol);

    for (int i = 0; i < 3; ++i)
        txtDest[i]->setText(m_settings.NewsDest[i]);

    m_account = {};
    m_account.security = m_settings.Security;
    m_account.user = m_settings.User;
    m_account.smsGateway = m_settings.SmsGateway;
    m_account.auth = m_settings.Auth;
    m_account.provider = m_settings.OAuthProvider;
    m_account.clientId = m_settings.OAuthClientId;
    m_account.clientSecret = m_settings.OAuthClientSecret;
    m_account.authorizeUrl = m_settings.OAuthAuthorizeUrl;
    m_account.tokenUrl = m_settings.OAuthTokenUrl;
    m_account.scope = m_settings.OAuthScope;
    cmdTrovaImpostazioni->setVisible(m_settings.SMTP.trimmed().isEmpty());
}

namespace {
void ApplyAccount(settings::ModMain& settings, const frmAccount::Values& account)
{
    settings.Security = account.security;
    settings.User = account.user;
    settings.Auth = account.auth;
    settings.OAuthProvider = account.provider;
    settings.OAuthClientId = account.clientId;
    settings.OAuthClientSecret = account.clientSecret;
    settings.OAuthAuthorizeUrl = account.authorizeUrl;
    settings.OAuthTokenUrl = account.tokenUrl;
    settings.OAuthScope = account.scope;
}
} // namespace

void frmOptions::cmdAccount_Click()
{
    OpenAccount(false);
}

void frmOptions::cmdTrovaImpostazioni_Click()
{
    OpenAccount(true);
}

void frmOptions::OpenAccount(bool findAtOnce)
{
    if (!m_accountDialog) {
        m_accountDialog = new frmAccount(this);
        connect(m_accountDialog, &QDialog::accepted, this, [this] {
            m_account = m_accountDialog->Result();
            // The server is this dialog's field; it shows what was chosen there, kept only by OK.
            if (txtSMTP->text() != m_account.server)
                txtSMTP->setText(m_account.server);
        });
        connect(m_accountDialog, &frmAccount::signInRequested, this, [this](const frmAccount::Values& values) {
            if (!m_signIn) {
                m_accountDialog->ShowSignInResult(false, QStringLiteral("Accesso non disponibile"));
                return;
            }
            // The server and the account on screen; nothing is applied yet.
            settings::ModMain trial = m_settings;
            trial.SMTP = values.server;
            ApplyAccount(trial, values);
            QPointer<frmAccount> dialog = m_accountDialog;
            m_signIn(trial, [dialog](bool ok, const QString& why) {
                if (dialog)
                    dialog->ShowSignInResult(ok, why);
            });
        });
    }
    m_accountDialog->SetProviderLookup(m_lookup);
    m_accountDialog->SetCaFile(m_settings.CaFile);
    m_account.server = txtSMTP->text();
    m_account.address = txtFrom->text();
    m_accountDialog->ShowModal(m_account, findAtOnce);
}

void frmOptions::cmdOk_Click()
{
    // Enter presses OK without moving the focus, so the recipient box being edited has
    // not been left yet: apply its rule now, as leaving it would have.
    for (int i = 0; i < 3; ++i) {
        if (focusWidget() == txtDest[i])
            txtDest_Validate(i);
    }

    m_settings.From = txtFrom->text();
    m_settings.SMTP = txtSMTP->text();

    m_settings.TempoAttesa = settings::ConvertTempoAttesa(txtTempoAttesa->text());

    m_settings.SerieA = chkSerieA->isChecked();
    m_settings.SerieB = chkSerieB->isChecked();
    m_settings.PallavoloA1_finali = chkPallavoloA1_finali->isChecked();
    m_settings.PallavoloA1_parziali = chkPallavoloA1_parziali->isChecked();

    m_settings.PallavoloDettaglio = txtPallavoloDettaglio->text();

    m_settings.Notizie = chkNotizie->isChecked();
    m_settings.TuttiGol = chkTuttiGol->isChecked();

    for (int i = 0; i < 3; ++i)
        m_settings.NewsDest[i] = txtDest[i]->text();

    ApplyAccount(m_settings, m_account);
    if (!m_account.smsGateway.isEmpty())
        m_settings.SmsGateway = m_account.smsGateway;
    if (!m_account.password.isEmpty() && !m_account.user.isEmpty() && m_passwords) {
        const auto security = mail::ParseSecurity(m_settings.Security).value_or(platform::Encryption::None);
        const mail::SmtpAddress server = mail::SmtpAddress::Parse(m_settings.SMTP, mail::DefaultPort(security));
        if (server.valid)
            m_passwords->Keep(m_account.user, server.host, m_account.password);
    }
    m_account.password.clear();

    accept();
}

void frmOptions::cmdAnnulla_Click()
{
    m_account.password.clear();
    reject();
}

void frmOptions::chkPallavoloA1_finali_Click()
{
    if (!chkPallavoloA1_finali->isChecked() && chkPallavoloA1_parziali->isChecked())
        chkPallavoloA1_parziali->setChecked(false);
}

void frmOptions::chkPallavoloA1_parziali_Click()
{
    if (chkPallavoloA1_parziali->isChecked() && !chkPallavoloA1_finali->isChecked())
        chkPallavoloA1_finali->setChecked(true);
}

void frmOptions::txtDest_GotFocus(int index)
{
    QLineEdit* box = txtDest[index];
    box->selectAll();
    // A mouse press places the cursor after the focus has arrived, which would undo the
    // selection: select again once the press has been handled.
    QPointer<QLineEdit> guard(box);
    QTimer::singleShot(0, box, [guard] {
        if (guard && guard->hasFocus())
            guard->selectAll();
    });
}

void frmOptions::txtDest_Validate(int index)
{
    QLineEdit* box = txtDest[index];
    const QString gateway =
        m_settings.SmsGateway.isEmpty() ? settings::kDefaultSmsGateway : m_settings.SmsGateway;
    const QString trimmed = mail::TrimSpaces(box->text());
    if (trimmed != box->text())
        box->setText(trimmed);
    const QString converted = mail::ApplyMobileNumberRule(trimmed, gateway);
    if (converted != trimmed)
        box->setText(converted);
}

int frmOptions::DestIndexOf(QObject* watched) const
{
    for (int i = 0; i < 3; ++i) {
        if (watched == txtDest[i])
            return i;
    }
    return -1;
}

bool frmOptions::eventFilter(QObject* watched, QEvent* event)
{
    const int index = DestIndexOf(watched);
    if (index >= 0) {
        if (event->type() == QEvent::FocusIn) {
            txtDest_GotFocus(index);
        } else if (event->type() == QEvent::FocusOut) {
            // A context menu or another window taking the focus is not leaving the box.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason)
                txtDest_Validate(index);
        }
    }
    return QDialog::eventFilter(watched, event);
}

} // namespace app
