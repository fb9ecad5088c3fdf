#include "frmMain.h"

#include "AddressBook.h"
#include "StatusListWidget.h"
#include "frmOptions.h"
#include "frmSignIn.h"
#include "mail/AddressRules.h"
#include "mail/Dispatcher.h"
#include "mail/OAuthTokens.h"
#include "mail/Outbox.h"
#include "mail/Passwords.h"
#include "mail/SendLog.h"
#include "mail/SmtpAddress.h"
#include "news/NewsDigest.h"
#include "news/NewsFetcher.h"
#include "platform/Clock.h"
#include "platform/PrivateFiles.h"
#include "platform/ProgramDirectory.h"
#include "platform/QtBrowser.h"
#include "platform/QtDialogs.h"
#include "platform/QtHttpClient.h"
#include "platform/QtTcpSocket.h"
#include "platform/SecretStore.h"
#include "platform/SettingsStore.h"
#include "platform/Timer.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QPainter>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QPushButton>
#include <QSessionManager>
#include <QStyledItemDelegate>
#include <QToolButton>

#include <array>
#include <cmath>

static void InitBreviloResources()
{
    Q_INIT_RESOURCE(brevilo);
}

namespace app {

namespace {

const QString kExitQuestion = QStringLiteral("Ci sono dei messaggi accodati. Vuoi uscire senza inviarli?");
const QString kSendAtNextStart = QStringLiteral("Invia al prossimo avvio");
const QString kInSession = QStringLiteral("Il messaggio è già in fase di invio e non può più essere annullato.");
// The list's own first line, then every other prefix a line can show.
const QString kLogTooltip =
    QStringLiteral("Ultimi messaggi inviati, QUEUED=in coda  OK=inviato  ERR=errore\n"
                   "RETRY hh:mm=nuovo tentativo all'ora indicata  HELD=in attesa di un tuo intervento"
                   " (menu del tasto destro: Riprova ora)  CANCELLED=invio annullato");

constexpr int kSmsRoom = 153;

// "Configurare SMTP!" unless the server looks set: a name with a dot, as ever, or what a local
// relay is reached by, a bracketed address literal or localhost, each with or without a port.
bool SmtpIsSet(const QString& smtp)
{
    const QString server = smtp.trimmed();
    if (server.contains(QLatin1Char('.')))
        return true;
    if (server.startsWith(QLatin1Char('[')))
        return server.indexOf(QLatin1Char(']')) > 1;
    return server.section(QLatin1Char(':'), 0, 0).compare(QLatin1String("localhost"), Qt::CaseInsensitive) == 0;
}

// The window's layout is given in twips; 15 twips make one pixel at 96 dpi.
QRect Twips(int left, int top, int width, int height)
{
    return QRect(left / 15, top / 15, width / 15, height / 15);
}

template <typename W>
W* Place(W* widget, const char* name, const QRect& geometry)
{
    widget->setObjectName(QLatin1String(name));
    widget->setGeometry(geometry);
    return widget;
}

QLabel* MakeLabel(QWidget* parent, const char* name, const QString& caption, const QRect& geometry,
                  const QColor& background = QColor())
{
    auto* label = Place(new QLabel(caption, parent), name, geometry);
    // A caption wider than its place (fonts here run wider than the layout's own) grows to the
    // right into the gap before the next control instead of being cut.
    if (label->sizeHint().width() > geometry.width())
        label->resize(label->sizeHint().width(), geometry.height());
    if (background.isValid()) {
        QPalette palette = label->palette();
        palette.setColor(QPalette::Window, background);
        label->setPalette(palette);
        label->setAutoFillBackground(true);
    }
    return label;
}

QPushButton* MakeButton(QWidget* parent, const char* name, const QString& caption, const QRect& geometry)
{
    auto* button = Place(new QPushButton(caption, parent), name, geometry);
    // The window has no default button: Enter in a field must not press one.
    button->setAutoDefault(false);
    button->setDefault(false);
    return button;
}

// Shows "nick TAB address" entries as two columns. The stops are 60, 65, 70 and 75
// dialog units (a quarter of the average character width each), so the address column
// starts 15 average characters from the left; a longer nick pushes it to the next stop.
class TabStopDelegate final : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static int NextStop(const QFontMetrics& metrics, int position)
    {
        static constexpr std::array<int, 4> kStops = {60, 65, 70, 75};
        const double unit = metrics.averageCharWidth() / 4.0;
        // Half a character of air, so that a nick ending just before a stop stays readable.
        const int minimumGap = qRound(2 * unit);
        for (int stop : kStops) {
            const int x = qRound(stop * unit);
            if (x >= position + minimumGap)
                return x;
        }
        // Past the last stop, further stops keep the last spacing.
        const double step = 5 * unit;
        const double last = kStops.back() * unit;
        return qRound(last + step * (std::floor((position + minimumGap - last) / step) + 1));
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem opt(option);
        initStyleOption(&opt, index);
        const QString text = opt.text;
        opt.text.clear();
        const QWidget* widget = opt.widget;
        QStyle* style = widget ? widget->style() : QApplication::style();
        style->drawControl(QStyle::CE_ItemViewItem, &opt, painter, widget);

        const QRect area = style->subElementRect(QStyle::SE_ItemViewItemText, &opt, widget).adjusted(2, 0, -2, 0);
        const QFontMetrics metrics(opt.font);
        painter->save();
        painter->setFont(opt.font);
        painter->setPen(opt.palette.color(opt.state & QStyle::State_Enabled ? QPalette::Normal : QPalette::Disabled,
                                          opt.state & QStyle::State_Selected ? QPalette::HighlightedText
                                                                             : QPalette::Text));
        painter->setClipRect(area);
        int x = 0;
        const QStringList parts = text.split(QLatin1Char('\t'));
        for (int i = 0; i < parts.size(); ++i) {
            if (i > 0)
                x = NextStop(metrics, x);
            const QRect cell(area.left() + x, area.top(), area.width() - x, area.height());
            painter->drawText(cell, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, parts[i]);
            x += metrics.horizontalAdvance(parts[i]);
        }
        painter->restore();
    }
};

} // namespace

frmMain::frmMain(frmMainDeps deps, QWidget* parent)
    : QMainWindow(parent),
      m_ownClock(deps.clock ? nullptr : new platform::SystemClock),
      m_ownStore(deps.store ? nullptr : new platform::QtSettingsStore),
      m_ownDialogs(deps.dialogs ? nullptr : new platform::QtDialogs(this)),
      m_ownDesktop(deps.desktop ? nullptr : new platform::QtDesktop),
      m_clock(deps.clock ? *deps.clock : *m_ownClock),
      m_store(deps.store ? *deps.store : *m_ownStore),
      m_dialogs(deps.dialogs ? *deps.dialogs : *m_ownDialogs),
      m_desktop(deps.desktop ? *deps.desktop : *m_ownDesktop),
      ws(deps.ws ? deps.ws : new platform::QtTcpSocket(this)),
      Inet1(deps.inet1 ? deps.inet1
                       : new platform::QtHttpClient(platform::QtHttpClient::kDefaultTimeoutMs,
                                                    platform::QtHttpClient::kDefaultBodyLimit, this)),
      Timer1(deps.timer1 ? deps.timer1 : new platform::QtTimer(this)),
      Timer2(deps.timer2 ? deps.timer2 : new platform::QtTimer(this)),
      m_replyTimer(deps.replyTimer ? deps.replyTimer : new platform::QtTimer(this)),
      m_timeouts(deps.timeouts),
      m_dataDirectory(deps.dataDirectory.isEmpty() ? platform::DataDirectory(platform::ProgramDirectory())
                                                   : deps.dataDirectory),
      m_outboxDirectory(deps.outboxDirectory),
      m_providerLookup(deps.providerLookup),
      m_secrets(deps.secrets)
{
    InitBreviloResources();
    BuildControls();
    Form_Load();
    StartOAuth(deps.browser, deps.signInTimer);
    // The session manager asks before a logout: save what the run changed, ask nothing.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this] {
        if (!m_unloaded)
            SaveSettingsAndBook(true);
    });
}

frmMain::~frmMain() = default;

void frmMain::BuildControls()
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Send mail"));
    setWindowIcon(QIcon(QStringLiteral(":/brevilo/brevilo.png")));
    // Small enough that every caption fits the fixed layout, large enough to read.
    // The same face as the configuration dialog (DejaVu Sans comes with the program's packages).
    QFont windowFont(QStringLiteral("DejaVu Sans"));
    windowFont.setPixelSize(10);
    setFont(windowFont);

    const QColor pink(255, 200, 210);
    const QColor yellow(255, 255, 192);

    auto* menuFile = menuBar()->addMenu(QStringLiteral("File"));
    menuFile->setObjectName(QStringLiteral("mnuFile"));
    mnuConfigure = menuFile->addAction(QStringLiteral("Configurazione"));
    mnuConfigure->setObjectName(QStringLiteral("mnuConfigure"));
    mnuExit = menuFile->addAction(QStringLiteral("Esci"));
    mnuExit->setObjectName(QStringLiteral("mnuExit"));

    auto* client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    client->setFixedSize(616, 455);
    setCentralWidget(client);

    farMittente = Place(new QGroupBox(QStringLiteral("Mittente"), client), "farMittente", Twips(60, 60, 9135, 615));
    lblSMTP = MakeLabel(farMittente, "lblSMTP", QStringLiteral("Smtp"), Twips(120, 240, 2715, 255), pink);
    lblFrom = MakeLabel(farMittente, "lblFrom", QStringLiteral("From"), Twips(2940, 240, 2535, 255), pink);
    Label4 = MakeLabel(farMittente, "Label4", QStringLiteral("Nome"), Twips(5700, 240, 435, 255));
    txtName = Place(new QLineEdit(farMittente), "txtName", Twips(6240, 180, 2415, 315));
    txtName->setToolTip(QStringLiteral("Il tuo nome che nel messaggio verrà mostrato come mittente"));

    Frame1 = Place(new QGroupBox(QStringLiteral("Destinatario"), client), "Frame1", Twips(60, 720, 9135, 735));
    Label1 = MakeLabel(Frame1, "Label1", QStringLiteral("Nick"), Twips(120, 300, 435, 255));
    txtNick = Place(new QLineEdit(Frame1), "txtNick", Twips(540, 240, 1875, 345));
    txtNick->setToolTip(QStringLiteral("Nome del destinatario, serve solo per tua comodità."));
    Label2 = MakeLabel(Frame1, "Label2", QStringLiteral("Indirizzo"), Twips(2700, 300, 570, 195));
    Label2->setToolTip(QStringLiteral("Indirizzo email del destinatario."));
    txtTo = Place(new QLineEdit(Frame1), "txtTo", Twips(3360, 240, 3675, 345));
    cmdSalva = MakeButton(Frame1, "cmdSalva", QStringLiteral("Aggiungi a rubrica"), Twips(7260, 240, 1695, 315));

    Frame2 = Place(new QGroupBox(QStringLiteral("Messaggio"), client), "Frame2", Twips(60, 1500, 4995, 3615));
    Label3 = MakeLabel(Frame2, "Label3", QStringLiteral("Oggetto"), Twips(180, 300, 570, 195));
    txtSubject = Place(new QLineEdit(Frame2), "txtSubject", Twips(840, 240, 3495, 345));
    cmdLast = MakeButton(Frame2, "cmdLast", QStringLiteral("Last"), Twips(4380, 240, 495, 315));
    cmdLast->setToolTip(QStringLiteral("Ripeti lo stesso testo del messaggio precedente"));
    txtTesto = Place(new QPlainTextEdit(Frame2), "txtTesto", Twips(120, 660, 4755, 2835));
    txtTesto->setToolTip(QStringLiteral("Testo del messaggio"));
    txtTesto->setTabChangesFocus(true);

    lstRubrica = Place(new QListWidget(client), "lstRubrica", Twips(5160, 1560, 4035, 2400));
    // Rows are one line each: with their size taken from one row, a book of 30,000 entries is
    // laid out at once instead of measuring every row after each load and Sort.
    lstRubrica->setUniformItemSizes(true);
    cmdSort = MakeButton(client, "cmdSort", QStringLiteral("Sort"), Twips(7620, 3960, 795, 315));
    cmdSort->setToolTip(QStringLiteral("Ordina per nome tutta la rubrica"));
    cmdElimina = MakeButton(client, "cmdElimina", QStringLiteral("Elimina"), Twips(8400, 3960, 795, 315));
    cmdElimina->setToolTip(QStringLiteral("Elimina dalla rubrica il nome selezionato"));
    cmdInvia = MakeButton(client, "cmdInvia", QStringLiteral("Invia"), Twips(7080, 4380, 1635, 675));
    cmdInvia->setIcon(QIcon(QStringLiteral(":/brevilo/invia.png")));
    cmdInvia->setIconSize(QSize(32, 32));
    // As wide as the SMS counter below it, so that long texts' counts are not clipped.
    lblCharCount = MakeLabel(client, "lblCharCount", QStringLiteral("Caratteri: 0"), Twips(5100, 4620, 1635, 255));
    lblCharsRemain =
        MakeLabel(client, "lblCharsRemain", QStringLiteral("SMS caratt.disp.: 0"), Twips(5100, 4860, 1635, 255));
    lstLog = Place(new StatusListWidget(client), "lstLog", Twips(60, 5220, 8295, 1230));
    lstLog->setToolTip(kLogTooltip);
    // One line per row: thousands of queued lines at start are laid out without measuring each.
    lstLog->setUniformItemSizes(true);
    // A tall narrow button: its icon stands above the caption.
    cmdViewLog = Place(new QToolButton(client), "cmdViewLog", Twips(8400, 5220, 795, 855));
    cmdViewLog->setText(QStringLiteral("View all"));
    cmdViewLog->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
    cmdViewLog->setFocusPolicy(Qt::StrongFocus);
    cmdViewLog->setToolTip(QStringLiteral("Mostra l'elenco di tutti i messaggi inviati"));
    cmdViewLog->setIcon(QIcon(QStringLiteral(":/brevilo/viewlog.png")));
    cmdViewLog->setIconSize(QSize(24, 24));
    cmdClear = MakeButton(client, "cmdClear", QStringLiteral("Clear"), Twips(8400, 6060, 795, 315));
    cmdClear->setToolTip(QStringLiteral("Pulisci la finestra"));
    lblDoing = MakeLabel(client, "lblDoing", QString(), Twips(60, 6480, 7995, 255), yellow);

    const std::array<QWidget*, 14> focusOrder = {txtSubject, txtTesto, lstRubrica, cmdSort, cmdElimina,
                                                  cmdInvia,   lstLog,   txtName,    txtNick, txtTo,
                                                  cmdSalva,   cmdViewLog, cmdClear, cmdLast};
    for (size_t i = 1; i < focusOrder.size(); ++i)
        setTabOrder(focusOrder[i - 1], focusOrder[i]);

    for (QLineEdit* field : {txtName, txtNick, txtSubject, txtTo})
        field->installEventFilter(this);

    connect(cmdInvia, &QPushButton::clicked, this, &frmMain::cmdInvia_Click);
    connect(cmdLast, &QPushButton::clicked, this, &frmMain::cmdLast_Click);
    connect(cmdSalva, &QPushButton::clicked, this, &frmMain::cmdSalva_Click);
    connect(cmdElimina, &QPushButton::clicked, this, &frmMain::cmdElimina_Click);
    connect(cmdSort, &QPushButton::clicked, this, &frmMain::cmdSort_Click);
    connect(cmdClear, &QPushButton::clicked, this, &frmMain::cmdClear_Click);
    connect(cmdViewLog, &QToolButton::clicked, this, &frmMain::cmdViewLog_Click);
    connect(mnuConfigure, &QAction::triggered, this, &frmMain::mnuConfigure_Click);
    connect(mnuExit, &QAction::triggered, this, &frmMain::mnuExit_Click);
    connect(txtName, &QLineEdit::textChanged, this, &frmMain::UpdateCounters);
    connect(txtSubject, &QLineEdit::textChanged, this, &frmMain::UpdateCounters);
    connect(txtTesto, &QPlainTextEdit::textChanged, this, &frmMain::UpdateCounters);
    // Only a selection made by the user fills the recipient: the focus arriving by Tab makes a
    // row current without selecting it, and rows the program rewrites are nobody's choice.
    connect(lstRubrica, &QListWidget::itemSelectionChanged, this, [this] {
        if (!m_fillingRubrica)
            lstRubrica_Click();
    });
    // A click on the entry already selected changes no selection but still picks it.
    connect(lstRubrica, &QListWidget::itemClicked, this, &frmMain::lstRubrica_Click);

    adjustSize();
    setFixedSize(size());
}

void frmMain::Form_Load()
{
    lstRubrica->setItemDelegate(new TabStopDelegate(lstRubrica));

    m_outboxStore = std::make_unique<mail::OutboxStore>(
        m_outboxDirectory.isEmpty() ? platform::UserDataDirectory() + QStringLiteral("/outbox") : m_outboxDirectory);
    m_outbox = std::make_unique<mail::Outbox>(*lstLog, m_clock, m_settings, m_outboxStore.get()); // mailQueue
    m_digest = std::make_unique<news::NewsDigest>(
        *m_outbox, m_settings, m_clock, [this] { return txtName->text(); },
        [this](const QString& caption) { setWindowTitle(caption); }); // newsSeen

    txtName->setText(m_settings.Load(m_store));
    m_outbox->Restore(); // what the last run left waiting
    lstLog->canCallBack = [this](int line) {
        return m_outbox->WhatCallBackWouldDo(line) != mail::Outbox::CallBackResult::NoRecord;
    };
    connect(lstLog, &StatusListWidget::callBackRequested, this, &frmMain::lstLog_CallBack);
    lstLog->canRetryNow = [this](int line) { return m_outbox->CanRetryNow(line); };
    connect(lstLog, &StatusListWidget::retryRequested, this, [this](int line) { m_outbox->RetryNow(line); });
    m_addressBook = std::make_unique<AddressBook>(m_dataDirectory);
    RefreshView();

    m_sendLog = std::make_unique<mail::SendLog>(m_dataDirectory, m_clock);
    if (!m_secrets) {
        m_ownSecrets = std::make_unique<platform::LazySecretStore>();
        m_secrets = m_ownSecrets.get();
    }
    m_passwords = std::make_unique<mail::Passwords>(*m_secrets, m_dialogs);
    m_session = std::make_unique<mail::SmtpSession>(*ws, *m_replyTimer, m_settings, *m_outbox, *m_sendLog,
                                                    m_timeouts, *m_passwords, m_dialogs);
    connect(m_session.get(), &mail::SmtpSession::lblDoingChanged, lblDoing, &QLabel::setText);
    m_dispatcher = std::make_unique<mail::Dispatcher>(*m_outbox, *m_session, m_settings, m_clock);
    m_fetcher = std::make_unique<news::NewsFetcher>(*Inet1, m_settings, m_clock, *m_digest);

    connect(Timer1, &platform::ITimer::timeout, this, [this] { m_dispatcher->Timer1_Timer(); });
    connect(Timer2, &platform::ITimer::timeout, this, [this] { m_fetcher->Timer2_Timer(); });
    connect(Inet1, &platform::IHttpClient::stateChanged, this, [this](int state) {
        m_fetcher->Inet1_StateChanged(state);
    });
    Timer1->Start(1000, false);
    Timer2->Start(3000, false);
}

QString frmMain::SmsGateway() const
{
    return m_settings.SmsGateway.isEmpty() ? settings::kDefaultSmsGateway : m_settings.SmsGateway;
}

// ---- Composer ----

// An address must reach the server as one address: anything that could add ESMTP parameters
// or a command, or split a log entry, is refused here with its reason.
bool frmMain::RefuseUnsafeAddresses()
{
    if (const QString problem = mail::AddressProblem(m_settings.From); !problem.isEmpty()) {
        m_dialogs.ShowMessage(QStringLiteral("Configurare mittente! L'indirizzo del mittente %1.").arg(problem),
                              platform::IDialogs::Icon::Exclamation);
        return false;
    }
    if (const QString problem = mail::AddressProblem(txtTo->text()); !problem.isEmpty()) {
        m_dialogs.ShowMessage(QStringLiteral("indirizzo non valido: %1").arg(problem), platform::IDialogs::Icon::None);
        return false;
    }
    return true;
}

void frmMain::cmdInvia_Click()
{
    if (!SmtpIsSet(m_settings.SMTP)) {
        m_dialogs.ShowMessage(QStringLiteral("Configurare SMTP!"), platform::IDialogs::Icon::Exclamation);
        return;
    }
    if (!m_settings.From.contains(QLatin1Char('@'))) {
        m_dialogs.ShowMessage(QStringLiteral("Configurare mittente!"), platform::IDialogs::Icon::Exclamation);
        return;
    }
    if (!txtTo->text().contains(QLatin1Char('@'))) {
        m_dialogs.ShowMessage(QStringLiteral("indirizzo non valido"), platform::IDialogs::Icon::None);
        return;
    }
    if (!RefuseUnsafeAddresses())
        return;
    const QString text = TypedText();
    if (mail::TrimSpaces(text).isEmpty()) {
        m_dialogs.ShowMessage(QStringLiteral("e il testo?"), platform::IDialogs::Icon::Exclamation);
        return;
    }

    auto record = std::make_shared<mail::CMessaggio>();
    record->mailFrom = m_settings.From;
    record->mailFromName = txtName->text();
    record->mailSubject = txtSubject->text();
    record->mailText = text;
    record->mailTimeCreated = m_clock.Now();
    record->mailTo = txtTo->text();
    record->mailToNick = txtNick->text();
    m_outbox->Enqueue(record, mail::kComposerSeparator);

    lastSubject = txtSubject->text();
    lastText = text;
    txtSubject->clear();
    txtTesto->clear();
}

QString frmMain::TypedText() const
{
    // toPlainText() would turn no-break spaces into blanks and line separators into line feeds;
    // the message goes out as typed, only the breaks between paragraphs become line breaks.
    QString text = txtTesto->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    return text;
}

void frmMain::cmdLast_Click()
{
    txtSubject->setText(lastSubject);
    txtTesto->setPlainText(lastText);
}

void frmMain::txtTo_Validate()
{
    const QString trimmed = mail::TrimSpaces(txtTo->text());
    const QString converted = mail::ApplyMobileNumberRule(trimmed, SmsGateway());
    if (converted != txtTo->text())
        txtTo->setText(converted);
    UpdateCounters();
}

void frmMain::UpdateCounters()
{
    const qsizetype textLength = TypedText().length();
    lblCharCount->setText(QStringLiteral("Caratteri: ") + QString::number(textLength));
    const qsizetype room = kSmsRoom - txtName->text().length() - txtSubject->text().length() - textLength;
    lblCharsRemain->setText(QStringLiteral("SMS caratt.disp.: ") + QString::number(room));
    lblCharsRemain->setVisible(mail::IsGatewayAddress(txtTo->text(), SmsGateway()));
}

// ---- Address book ----

void frmMain::LoadAddressBook()
{
    m_fillingRubrica = true;
    lstRubrica->clear();
    QString error;
    lstRubrica->addItems(m_addressBook->Load(&error));
    m_fillingRubrica = false;
    // A book that exists but cannot be read must not be replaced by an empty one at exit.
    m_addressBookUnreadable = !error.isEmpty();
    if (m_addressBookUnreadable)
        m_dialogs.ShowMessage(error + QStringLiteral("\nLe modifiche alla rubrica non verranno salvate, per non sovrascriverla."),
                              platform::IDialogs::Icon::Critical);
}

void frmMain::cmdSalva_Click()
{
    const QString nick = txtNick->text();
    const QString address = txtTo->text();
    if (nick.isEmpty() || address.isEmpty())
        return;
    // The file has no escape for a comma or TAB: such an entry would vanish at the next start.
    if (const auto reason = AddressBook::RefusalReason(nick, address)) {
        m_dialogs.ShowMessage(*reason, platform::IDialogs::Icon::Exclamation);
        return;
    }
    m_fillingRubrica = true;
    lstRubrica->addItem(AddressBook::MakeEntry(nick, address));
    m_fillingRubrica = false;
}

QListWidgetItem* frmMain::SelectedEntry() const
{
    const QList<QListWidgetItem*> selected = lstRubrica->selectedItems();
    return selected.isEmpty() ? nullptr : selected.first();
}

void frmMain::cmdElimina_Click()
{
    // The selection, not the current row: Tab into the list or a Ctrl+click that deselects
    // leaves a current row that nobody chose.
    QListWidgetItem* entry = SelectedEntry();
    if (!entry)
        return;
    const int row = lstRubrica->row(entry);
    m_fillingRubrica = true;
    delete lstRubrica->takeItem(row);
    // Nothing is selected afterwards, so a second press does not delete the neighbour.
    lstRubrica->setCurrentRow(-1);
    lstRubrica->clearSelection();
    m_fillingRubrica = false;
}

void frmMain::cmdSort_Click()
{
    QStringList entries;
    for (int row = 0; row < lstRubrica->count(); ++row)
        entries.append(lstRubrica->item(row)->text());
    const QStringList sorted = AddressBook::Sorted(entries);
    m_fillingRubrica = true;
    for (int row = 0; row < lstRubrica->count() && row < sorted.size(); ++row)
        lstRubrica->item(row)->setText(sorted[row]);
    m_fillingRubrica = false;
}

void frmMain::lstRubrica_Click()
{
    const QListWidgetItem* item = SelectedEntry();
    if (!item)
        return;
    const QString entry = item->text();
    txtTo->setText(AddressBook::AddressOf(entry));
    txtNick->setText(AddressBook::NickOf(entry));
    UpdateCounters();
}

void frmMain::txtNick_Validate()
{
    const QString trimmed = mail::TrimSpaces(txtNick->text());
    if (trimmed != txtNick->text())
        txtNick->setText(trimmed);
}

// ---- Lifecycle ----

void frmMain::RefreshLabels()
{
    lblSMTP->setText(QStringLiteral("Smtp: ") + m_settings.SMTP);
    lblFrom->setText(QStringLiteral("From: <") + m_settings.From + QLatin1Char('>'));
}

void frmMain::RefreshView()
{
    RefreshLabels();
    LoadAddressBook();
    UpdateCounters();
}

void frmMain::cmdClear_Click()
{
    m_outbox->ClearLog();
}

void frmMain::cmdViewLog_Click()
{
    const QString path = m_sendLog->Path();
    QFile log(path);
    // Nothing has been sent yet: the editor gets an empty log rather than an error.
    if (!log.exists() && log.open(QIODevice::Append)) {
        platform::MakePrivate(log);
        log.close();
    }
    if (!m_desktop.OpenFile(path))
        m_dialogs.ShowMessage(QStringLiteral("Impossibile aprire l'elenco dei messaggi inviati:\n") + path,
                              platform::IDialogs::Icon::Exclamation);
}

void frmMain::StartOAuth(platform::IBrowser* browser, platform::ITimer* signInTimer)
{
    if (!browser) {
        m_ownBrowser = std::make_unique<platform::QtBrowser>();
        browser = m_ownBrowser.get();
    }
    m_signInTimer = signInTimer ? signInTimer : new platform::QtTimer(this);
    m_tokens = std::make_unique<mail::OAuthTokens>(*m_secrets, *browser, *m_signInTimer, m_clock);
    m_session->SetTokenSource(m_tokens.get());
    connect(m_tokens.get(), &mail::OAuthTokens::signInWaiting, this, [this](const QString& account) {
        if (!m_signInWindow) {
            m_signInWindow = new frmSignIn(this);
            connect(m_signInWindow, &frmSignIn::cancelled, m_tokens.get(), &mail::OAuthTokens::CancelSignIn);
        }
        // Over the configuration when "Accedi ora" started it.
        m_signInWindow->setParent(QApplication::activeModalWidget() ? QApplication::activeModalWidget() : this,
                                  Qt::Dialog);
        m_signInWindow->ShowFor(account);
    });
    connect(m_tokens.get(), &mail::OAuthTokens::signInEnded, this, [this] {
        if (m_signInWindow)
            m_signInWindow->CloseQuietly();
    });
}

void frmMain::mnuConfigure_Click()
{
    if (!m_options) {
        m_options = new frmOptions(m_settings, this);
        m_options->SetPasswords(m_passwords.get());
        m_options->SetProviderLookup(m_providerLookup);
        m_options->SetSignIn([this](const settings::ModMain& trial, std::function<void(bool, QString)> done) {
            const auto security = mail::ParseSecurity(trial.Security).value_or(platform::Encryption::None);
            const mail::SmtpAddress server = mail::SmtpAddress::Parse(trial.SMTP, mail::DefaultPort(security));
            QString why;
            const std::optional<mail::OAuthConfig> config = mail::OAuthConfig::Resolve(trial, server.host, &why);
            if (!server.valid || !config) {
                done(false, server.valid ? why : QStringLiteral("Indicare prima il server SMTP"));
                return;
            }
            m_tokens->Obtain(*config, mail::ITokenSource::Mode::Browser, [done](mail::ITokenSource::Result result) {
                done(result.accessToken.has_value(), result.reason);
            });
        });
        m_options->setObjectName(QStringLiteral("frmOptions"));
        // OK may have changed SMTP and From. The address book is not reloaded here: the file
        // is written only at exit, so reloading would throw away this session's edits.
        connect(m_options, &QDialog::finished, this, &frmMain::RefreshLabels);
        // OK is the user's word that the settings are mended: the held messages go again.
        connect(m_options, &QDialog::accepted, this, [this] { m_outbox->ReleaseHeld(); });
    }
    m_options->ShowModal();
    RefreshLabels();
}

void frmMain::mnuExit_Click()
{
    close();
}

bool frmMain::Form_QueryUnload()
{
    if (m_outbox->mailQueue().Count() == 0)
        return true;
    m_dispatcher->exitPending = true;
    const platform::IDialogs::Answer answer = m_dialogs.AskYesNoOr(kExitQuestion, kSendAtNextStart);
    if (m_unloaded) // the system ended the program while the question was open: keep the queue
        return true;
    switch (answer) {
    case platform::IDialogs::Answer::Yes:
        m_outbox->DiscardQueued();
        return true;
    case platform::IDialogs::Answer::Third: // they stay in the outbox for the next run
        return true;
    case platform::IDialogs::Answer::No:
        break;
    }
    m_dispatcher->exitPending = false;
    return false;
}

void frmMain::lstLog_CallBack(int line)
{
    if (m_outbox->CallBack(line) == mail::Outbox::CallBackResult::InSession)
        m_dialogs.ShowMessage(kInSession, platform::IDialogs::Icon::Information);
}

void frmMain::SaveSettingsAndBook(bool quiet)
{
    m_settings.Save(m_store, txtName->text());
    if (auto* realStore = dynamic_cast<platform::QtSettingsStore*>(&m_store))
        realStore->Sync();

    QStringList entries;
    for (int row = 0; row < lstRubrica->count(); ++row)
        entries.append(lstRubrica->item(row)->text());
    QString error;
    if (!m_addressBookUnreadable && !m_addressBook->Save(entries, &error) && !quiet)
        m_dialogs.ShowMessage(error, platform::IDialogs::Icon::Critical);
}

void frmMain::Form_Unload(bool quiet)
{
    SaveSettingsAndBook(quiet);
    m_fetcher->CancelIfExecuting();
    Timer1->Stop();
    Timer2->Stop();
}

void frmMain::EndBySystem()
{
    // Logout, shutdown or a signal: the end is not the user's to refuse, so no question is
    // asked and nothing may wait on a dialog; the edits of the run are saved as on a close.
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload(true);
    }
    QCoreApplication::quit(); // also ends a dialog's loop that may be open
}

void frmMain::closeEvent(QCloseEvent* event)
{
    if (m_unloaded) {
        event->accept();
        return;
    }
    if (!Form_QueryUnload()) {
        event->ignore();
        return;
    }
    // The system may have ended the program while the question was open.
    if (!m_unloaded) {
        m_unloaded = true;
        Form_Unload(false);
    }
    event->accept();
}

bool frmMain::eventFilter(QObject* watched, QEvent* event)
{
    auto* field = qobject_cast<QLineEdit*>(watched);
    if (!field)
        return QMainWindow::eventFilter(watched, event);

    switch (event->type()) {
    case QEvent::FocusIn: {
        // Select-all on entry. A mouse press would put the cursor where it landed, so for a
        // click the selection is made when the button is released.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::MouseFocusReason)
            m_selectOnRelease = field;
        else if (reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason)
            field->selectAll();
        break;
    }
    case QEvent::MouseButtonRelease:
        if (m_selectOnRelease == field) {
            m_selectOnRelease = nullptr;
            if (!field->hasSelectedText()) // a drag made a selection of its own: keep it
                field->selectAll();
        }
        break;
    case QEvent::FocusOut: {
        // Validate on leave runs before the control that takes the focus acts: a pressed button
        // takes it on press, and its click comes only with the release.
        const auto reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason == Qt::ActiveWindowFocusReason || reason == Qt::PopupFocusReason)
            break;
        if (field == txtTo)
            txtTo_Validate();
        else if (field == txtNick)
            txtNick_Validate();
        break;
    }
    default:
        break;
    }
    return QMainWindow::eventFilter(watched, event);
}

} // namespace app
