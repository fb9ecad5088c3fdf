#pragma once

#include "settings/modMain.h"
#include "mail/SmtpSession.h"

#include <QMainWindow>
#include <QPointer>

#include <memory>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPlainTextEdit;
class QPushButton;
class QToolButton;

namespace platform {
class IBrowser;
class IClock;
class IDesktop;
class IDialogs;
class IHttpClient;
class ISecretStore;
class ISettingsStore;
class ITcpSocket;
class ITimer;
} // namespace platform

namespace mail {
class Dispatcher;
class OAuthTokens;
class Outbox;
class OutboxStore;
class Passwords;
class ProviderLookup;
class SendLog;
} // namespace mail

namespace news {
class NewsDigest;
class NewsFetcher;
} // namespace news

namespace app {

class AddressBook;
class StatusListWidget;
class frmOptions;
class frmSignIn;

// The outside world of the main window. A member left null is made by the window itself
// (the real clock, store, boxes, socket, HTTP client and timers); tests hand in fakes.
struct frmMainDeps {
    platform::IClock* clock = nullptr;
    platform::ISettingsStore* store = nullptr;
    platform::IDialogs* dialogs = nullptr;
    platform::IDesktop* desktop = nullptr;
    platform::ITcpSocket* ws = nullptr;
    platform::IHttpClient* inet1 = nullptr;
    platform::ITimer* timer1 = nullptr;     // dispatcher, 1000 ms
    platform::ITimer* timer2 = nullptr;     // news scheduler, 3000 ms
    platform::ITimer* replyTimer = nullptr; // SMTP reply time-out
    platform::ISecretStore* secrets = nullptr; // the desktop's, loaded when first needed
    platform::IBrowser* browser = nullptr;     // where the OAuth sign-in page opens
    platform::ITimer* signInTimer = nullptr;   // the 5 minutes the sign-in waits for the browser
    mail::SmtpSession::Timeouts timeouts;
    mail::ProviderLookup* providerLookup = nullptr; // "Trova impostazioni"; null: the real network
    // Where rubrica.txt and log.txt live; empty: beside the program, or the per-user
    // data directory when that is not writable.
    QString dataDirectory;
    // Where queued messages are kept until they end; empty: "outbox" in the per-user data directory.
    QString outboxDirectory;
};

// "Send mail": the composer, the address book, the status list and the program's lifecycle.
class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(frmMainDeps deps = {}, QWidget* parent = nullptr);
    ~frmMain() override;

    settings::ModMain& Settings() { return m_settings; }
    mail::Outbox& outbox() { return *m_outbox; }
    mail::Dispatcher& dispatcher() { return *m_dispatcher; }
    QString DataDirectory() const { return m_dataDirectory; }

    // Composer
    void cmdInvia_Click();
    void cmdLast_Click();
    void txtTo_Validate();
    void UpdateCounters();

    // Address book
    void cmdSalva_Click();
    void cmdElimina_Click();
    void cmdSort_Click();
    void lstRubrica_Click();
    void txtNick_Validate();

    // Lifecycle
    void RefreshView();
    void cmdClear_Click();
    void cmdViewLog_Click();
    void mnuConfigure_Click();
    void mnuExit_Click();
    // The end of the program by the system (logout, SIGTERM, SIGHUP, SIGINT).
    void EndBySystem();
    void lstLog_CallBack(int line);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void BuildControls();
    void Form_Load();
    bool Form_QueryUnload(); // false: the window stays
    void Form_Unload(bool quiet); // quiet: no message box, the system is ending the program
    void SaveSettingsAndBook(bool quiet);
    void RefreshLabels();
    void LoadAddressBook();
    void StartOAuth(platform::IBrowser* browser, platform::ITimer* signInTimer);
    QListWidgetItem* SelectedEntry() const;
    QString TypedText() const; // txtTesto's text as typed
    bool RefuseUnsafeAddresses(); // false after a message box
    QString SmsGateway() const;

    // Owned stand-ins for the dependencies the caller left null.
    std::unique_ptr<platform::IClock> m_ownClock;
    std::unique_ptr<platform::ISettingsStore> m_ownStore;
    std::unique_ptr<platform::IDialogs> m_ownDialogs;
    std::unique_ptr<platform::IDesktop> m_ownDesktop;

    platform::IClock& m_clock;
    platform::ISettingsStore& m_store;
    platform::IDialogs& m_dialogs;
    platform::IDesktop& m_desktop;
    platform::ITcpSocket* ws;
    platform::IHttpClient* Inet1;
    platform::ITimer* Timer1;
    platform::ITimer* Timer2;
    platform::ITimer* m_replyTimer;
    mail::SmtpSession::Timeouts m_timeouts;
    QString m_dataDirectory;
    QString m_outboxDirectory;
    mail::ProviderLookup* m_providerLookup;

    settings::ModMain m_settings;
    std::unique_ptr<AddressBook> m_addressBook;
    bool m_addressBookUnreadable = false;
    std::unique_ptr<mail::OutboxStore> m_outboxStore;
    std::unique_ptr<mail::Outbox> m_outbox;
    std::unique_ptr<mail::SendLog> m_sendLog;
    platform::ISecretStore* m_secrets;
    std::unique_ptr<platform::ISecretStore> m_ownSecrets;
    std::unique_ptr<mail::Passwords> m_passwords;
    std::unique_ptr<platform::IBrowser> m_ownBrowser;
    platform::ITimer* m_signInTimer = nullptr;
    std::unique_ptr<mail::OAuthTokens> m_tokens;
    QPointer<frmSignIn> m_signInWindow;
    std::unique_ptr<mail::SmtpSession> m_session;
    std::unique_ptr<mail::Dispatcher> m_dispatcher;
    std::unique_ptr<news::NewsDigest> m_digest;
    std::unique_ptr<news::NewsFetcher> m_fetcher;
    QPointer<frmOptions> m_options;

    QString lastSubject;
    QString lastText;
    bool m_unloaded = false;
    bool m_fillingRubrica = false;   // list changes made by the program are no selection
    QLineEdit* m_selectOnRelease = nullptr;

    // Controls
    QGroupBox* farMittente = nullptr;
    QLabel* lblSMTP = nullptr;
    QLabel* lblFrom = nullptr;
    QLabel* Label4 = nullptr;
    QLineEdit* txtName = nullptr;
    QGroupBox* Frame1 = nullptr;
    QLabel* Label1 = nullptr;
    QLineEdit* txtNick = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtTo = nullptr;
    QPushButton* cmdSalva = nullptr;
    QGroupBox* Frame2 = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtSubject = nullptr;
    QPushButton* cmdLast = nullptr;
    QPlainTextEdit* txtTesto = nullptr;
    QListWidget* lstRubrica = nullptr;
    QPushButton* cmdSort = nullptr;
    QPushButton* cmdElimina = nullptr;
    QPushButton* cmdInvia = nullptr;
    QLabel* lblCharCount = nullptr;
    QLabel* lblCharsRemain = nullptr;
    StatusListWidget* lstLog = nullptr;
    QToolButton* cmdViewLog = nullptr;
    QPushButton* cmdClear = nullptr;
    QLabel* lblDoing = nullptr;
    QAction* mnuConfigure = nullptr;
    QAction* mnuExit = nullptr;
};

} // namespace app
