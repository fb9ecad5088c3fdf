// "Trova impostazioni" as a person uses it: on a first start the configuration offers it beside
// the address; the account dialog fills server, security and login from what it finds, and only
// OK keeps them. Once end to end: the provider's file over HTTPS on 127.0.0.1 names a local
// submission server, and the next message goes there.
#include "FakeLookupSeams.h"
#include "Fakes.h"
#include "FakeHttpClient.h"
#include "HttpsFiles.h"
#include "SubmissionServer.h"
#include "app/frmAccount.h"
#include "app/frmMain.h"
#include "app/frmOptions.h"
#include "mail/ProviderLookup.h"
#include "platform/QtSecureHttpClient.h"

#include <QtTest>
#include <QtWidgets>

using namespace testsupport;

namespace {

QWidget* Focus() { return QApplication::focusWidget(); }

void Key(Qt::Key key, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::keyClick(Focus(), key);
}

template <class T = QLineEdit>
T* W(QWidget* root, const char* name) { return root->findChild<T*>(name); }

// The account dialog's fields that a lookup fills.
QStringList Fields(QWidget* account)
{
    return {W(account, "txtServer")->text(), W<QComboBox>(account, "cboSecurity")->currentText(), W(account, "txtUser")->text(),
            W<QComboBox>(account, "cboAuth")->currentText(), W(account, "txtClientId")->text()};
}

} // namespace

class TestAccountLookup : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A first start: no server. The person types the address, Tab to "Trova impostazioni", Space;
    // the account dialog finds the settings, the person adds the password and confirms twice, and
    // the next message is delivered by the server found, logged in as the file says (the server
    // takes no login but "anna").
    void firstStartFindsTheServerByKeyboard()
    {
        QTemporaryDir received, data;
        SubmissionServer smtp;
        QVERIFY2(smtp.Start(received.path()), qPrintable(smtp.Output()));
        HttpsFiles files; // the same certificate, trusted through CaFile as the program would
        QVERIFY2(files.Start(smtp.CaFile(), QFileInfo(smtp.CaFile()).dir().filePath("key.pem")), qPrintable(files.Output()));
        QVERIFY(files.Put("auto/posta.example", QString("<?xml version=\"1.0\"?><clientConfig version=\"1.1\"><emailProvider id=\"x\">"
                                                        "<outgoingServer type=\"smtp\"><hostname>127.0.0.1</hostname><port>%1</port>"
                                                        "<socketType>SSL</socketType><authentication>password-cleartext</authentication>"
                                                        "<username>%EMAILLOCALPART%</username></outgoingServer></emailProvider></clientConfig>")
                                                    .arg(smtp.Port("tls")).toUtf8()));
        platform::QtSecureHttpClient https(smtp.CaFile());
        platform::QtTimer tenSeconds;
        FakeDnsResolver dns; // no records: the files decide
        mail::ProviderLookup realLookup(https, dns, tenSeconds,
                                        {files.Https("auto/%1?emailaddress=%2"), files.Https("well/%1"), files.Https("db/%1")});
        MemorySettingsStore store;
        store.values.insert(MemorySettingsStore::Key("Brevilo", "Address", "CaFile"), smtp.CaFile());
        store.values.insert(MemorySettingsStore::Key("Brevilo", "Address", "TempoAttesa"), "0");
        FakeDialogs dialogs;
        FakeDesktop desktop;
        FakeSecretStore secrets;
        FakeHttpClient inet1;
        app::frmMainDeps deps;
        deps.store = &store, deps.dialogs = &dialogs, deps.desktop = &desktop, deps.inet1 = &inet1;
        deps.secrets = &secrets, deps.providerLookup = &realLookup;
        deps.dataDirectory = data.path(), deps.outboxDirectory = data.filePath("outbox");
        app::frmMain w(deps);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));

        w.findChild<QAction*>("mnuConfigure")->trigger();
        auto* options = w.findChild<app::frmOptions*>();
        QVERIFY(options && QTest::qWaitForWindowActive(options));
        QTRY_COMPARE(Focus(), W(options, "txtSMTP"));
        Key(Qt::Key_Tab);
        QTest::keyClicks(Focus(), "anna@posta.example");
        Key(Qt::Key_Tab);
        QCOMPARE(Focus()->objectName(), "cmdTrovaImpostazioni");
        Key(Qt::Key_Space);
        auto* account = options->findChild<app::frmAccount*>();
        QVERIFY(account && QTest::qWaitForWindowActive(account));
        dns.AnswerRest();
        QTRY_COMPARE_WITH_TIMEOUT(W<QLabel>(account, "lblSource")->text(), "Impostazioni pubblicate da posta.example", 15000);
        QCOMPARE(Fields(account).mid(0, 3), QStringList({smtp.Setting("tls"), "TLS implicito (porta 465)", "anna"}));
        // From "Trova impostazioni", where the focus stays, round to the password: server, security,
        // user, password.
        Key(Qt::Key_Tab, 4);
        QCOMPARE(Focus()->objectName(), "txtPassword");
        QTest::keyClicks(Focus(), SubmissionServer::kPassword);
        Key(Qt::Key_Return);
        QTRY_VERIFY(!account->isVisible());
        QCOMPARE(W(options, "txtSMTP")->text() + "|" + w.Settings().SMTP, smtp.Setting("tls") + "|"); // kept only by OK
        options->activateWindow(); // as the window manager does when the account dialog goes
        QVERIFY(QTest::qWaitForWindowActive(options));
        QTRY_VERIFY(Focus() && Focus()->window() == options);
        Key(Qt::Key_Return);
        QTRY_VERIFY(!options->isVisible());
        QCOMPARE(QStringList({w.Settings().SMTP, w.Settings().Security, w.Settings().User, w.Settings().From}),
                 QStringList({smtp.Setting("tls"), "tls", "anna", "anna@posta.example"}));

        QTest::keyClicks(W(&w, "txtTo"), "bea@example.invalid");
        QTest::keyClicks(W<QPlainTextEdit>(&w, "txtTesto"), "Trovato da solo");
        QTest::mouseClick(W<QPushButton>(&w, "cmdInvia"), Qt::LeftButton);
        auto* log = W<QListWidget>(&w, "lstLog");
        QTRY_VERIFY_WITH_TIMEOUT(log->count() > 0 && log->item(0)->text().startsWith("OK - "), 20000);
        // With a server set, the configuration no longer offers the lookup beside the address.
        w.findChild<QAction*>("mnuConfigure")->trigger();
        QVERIFY(!W<QPushButton>(w.findChild<app::frmOptions*>(), "cmdTrovaImpostazioni")->isVisible());
    }

    // While the lookup runs the fields it would fill are off and the button stops it; stopping it,
    // the 10 s limit or closing the dialog leave every field as it was, and a late answer changes
    // nothing. A known provider's sign-in becomes the account's choice, kept by OK: its preset
    // replaces the overrides typed for another provider; a password provider gets Password.
    void lookupInTheAccountDialog_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QString>("line");
        QTest::addColumn<QStringList>("chosen"); // caption, client id left, Auth and OAuthProvider kept
        const QString stopped = "Ricerca interrotta: nessun campo è stato cambiato";
        const QStringList unchanged = {"Altro (OAuth 2.0)", "mio-id", "oauth2", "custom"};
        QTest::newRow("Interrompi ricerca") << "example.it" << stopped << unchanged;
        QTest::newRow("10 s limit") << "example.it" << "Nessuna risposta entro 10 secondi: nessun campo è stato cambiato" << unchanged;
        QTest::newRow("Esc closes the dialog") << "example.it" << stopped << unchanged;
        QTest::newRow("gmail.com") << "gmail.com" << "Impostazioni note per gmail.com" << QStringList{"Google", "", "oauth2", "google"};
        QTest::newRow("libero.it") << "libero.it" << "Impostazioni note per libero.it" << QStringList{"Password", "mio-id", "password", "custom"};
    }
    void lookupInTheAccountDialog()
    {
        QFETCH(QString, domain);
        const QString how = QTest::currentDataTag();
        FakeSecureHttpClient http;
        FakeDnsResolver dns;
        FakeTimer limit;
        mail::ProviderLookup lookup{http, dns, limit};
        // The dialog over an OAuth account of another provider; Tab to "Trova impostazioni", Space.
        app::frmAccount account;
        account.SetProviderLookup(&lookup);
        app::frmAccount::Values v;
        v.security = "starttls", v.user = "anna", v.server = "smtp.old.example:587", v.address = "anna@" + domain;
        v.auth = "oauth2", v.provider = "custom", v.clientId = "mio-id";
        account.ShowModal(v);
        QVERIFY(QTest::qWaitForWindowActive(&account));
        QTRY_COMPARE(Focus(), W<QWidget>(&account, "cboSecurity"));
        const QStringList before = Fields(&account);
        auto* find = W<QPushButton>(&account, "cmdTrova");
        find->setFocus(Qt::TabFocusReason);
        Key(Qt::Key_Space);
        if (domain == "example.it") { // in no table: the network is asked, and the lookup is stopped
            QVERIFY(http.asked.size() == 3 && find->text() == "Interrompi ricerca");
            QVERIFY(!W(&account, "txtServer")->isEnabled() && !W(&account, "txtUser")->isEnabled());
            // A later source has answered; the earlier ones have not.
            QVERIFY(dns.Answer("SRV _submissions._tcp.example.it", {{"subs.example.it", 465, 0, 0}}));
            if (how.startsWith("10 s"))
                limit.Fire();
            else
                Key(how.startsWith("Esc") ? Qt::Key_Escape : Qt::Key_Space);
            QVERIFY(find->text() == "Trova impostazioni" && W(&account, "txtServer")->isEnabled());
            QVERIFY(http.running.isEmpty() && dns.running.isEmpty()); // nothing left to answer late
            QCOMPARE(Fields(&account), before);
        } else
            QVERIFY(http.asked.isEmpty()); // the built-in table answered
        QTEST(W<QLabel>(&account, "lblSource")->text(), "line");
        if (account.isVisible())
            Key(Qt::Key_Return);
        QTRY_VERIFY(!account.isVisible());
        const app::frmAccount::Values kept = account.Result();
        QTEST(Fields(&account).mid(3) + QStringList({kept.auth, kept.provider}), "chosen");
    }
};

QTEST_MAIN(TestAccountLookup)
#include "test_account_lookup.moc"
