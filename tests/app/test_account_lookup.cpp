// "Trova impostazioni" as a person uses it: on a first start the configuration offers it beside
// the address; the account dialog fills server, security and login from what it finds, and only
// OK keeps them. Once end to end: the provider's file over HTTPS on 127.0.0.1 names a local
// submission server, and the next message goes there.
#include "FakeLookupSeams.h"
#include "Fakes.h"
#include "FakeTcpSocket.h"
#include "FakeHttpClient.h"
#include "HttpsFiles.h"
#include "SubmissionServer.h"
#include "app/frmAccount.h"
#include "app/frmMain.h"
#include "app/frmOptions.h"
#include "mail/ProviderLookup.h"
#include "platform/QtDnsResolver.h"
#include "platform/QtSecureHttpClient.h"

#include <QtTest>
#include <QtWidgets>

using namespace testsupport;

namespace {

QByteArray ProviderFile(const QString& host, quint16 port, const QString& socketType)
{
    return QString("<?xml version=\"1.0\"?><clientConfig version=\"1.1\"><emailProvider id=\"x\">"
                   "<outgoingServer type=\"smtp\"><hostname>%1</hostname><port>%2</port><socketType>%3</socketType>"
                   "<authentication>password-cleartext</authentication><username>%EMAILLOCALPART%</username>"
                   "</outgoingServer></emailProvider></clientConfig>")
        .arg(host)
        .arg(port)
        .arg(socketType)
        .toUtf8();
}

QWidget* Focus()
{
    return QApplication::focusWidget();
}

void Key(Qt::Key key, int times = 1)
{
    for (int i = 0; i < times; ++i)
        QTest::keyClick(Focus(), key);
}

} // namespace

class TestAccountLookup : public QObject {
    Q_OBJECT

    template <class T = QLineEdit>
    static T* W(QWidget* root, const char* name)
    {
        T* found = root->findChild<T*>(name);
        return found ? found : (qFatal("no control %s", name), nullptr);
    }

private Q_SLOTS:
    // A first start: no server. The person types the address, Tab to "Trova impostazioni", Space;
    // the account dialog finds the settings, the person adds the password and confirms twice, and
    // the next message is delivered by the server found, logged in as the file says.
    void firstStartFindsTheServerByKeyboard()
    {
        QTemporaryDir received, data;
        SubmissionServer smtp;
        QVERIFY2(smtp.Start(received.path()), qPrintable(smtp.Output()));
        HttpsFiles files; // the same certificate, trusted through CaFile as the program would
        QVERIFY2(files.Start(smtp.CaFile(), QFileInfo(smtp.CaFile()).dir().filePath("key.pem")), qPrintable(files.Output()));
        QVERIFY(files.Put("auto/posta.example", ProviderFile("127.0.0.1", smtp.Port("tls"), "SSL")));

        platform::QtSecureHttpClient http(smtp.CaFile());
        FakeDnsResolver dns;
        platform::QtTimer limit;
        mail::ProviderLookup lookup(http, dns, limit,
                                    {files.Https("auto/%1?emailaddress=%2"), files.Https("well/%1"), files.Https("db/%1")});
        connect(&dns, &FakeDnsResolver::finished, this, [] {}); // answered below, as the resolver would
        MemorySettingsStore store;
        store.values.insert(MemorySettingsStore::Key("Brevilo", "Address", "CaFile"), smtp.CaFile());
        store.values.insert(MemorySettingsStore::Key("Brevilo", "Address", "TempoAttesa"), "0");
        FakeDialogs dialogs;
        FakeDesktop desktop;
        FakeSecretStore secrets;
        FakeHttpClient inet1;
        app::frmMainDeps deps;
        deps.store = &store, deps.dialogs = &dialogs, deps.desktop = &desktop, deps.inet1 = &inet1;
        deps.secrets = &secrets, deps.providerLookup = &lookup;
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
        QCOMPARE(W(account, "txtServer")->text(), smtp.Setting("tls"));
        QCOMPARE(W<QComboBox>(account, "cboSecurity")->currentText(), "TLS implicito (porta 465)");
        QCOMPARE(W(account, "txtUser")->text(), "anna");
        QVERIFY(files.Requests().contains("https /auto/posta.example?emailaddress=anna%40posta.example\n"));
        // From "Trova impostazioni" round to the password: server, security, user, password.
        QCOMPARE(Focus()->objectName(), "cmdTrova");
        Key(Qt::Key_Tab, 4);
        QCOMPARE(Focus()->objectName(), "txtPassword");
        QTest::keyClicks(Focus(), SubmissionServer::kPassword);
        Key(Qt::Key_Return);
        QTRY_VERIFY(!account->isVisible());
        QCOMPARE(W(options, "txtSMTP")->text(), smtp.Setting("tls"));
        QCOMPARE(w.Settings().SMTP, ""); // nothing kept before the configuration's OK
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
        QFile meta(received.filePath("0001.json"));
        QVERIFY(meta.open(QIODevice::ReadOnly));
        QVERIFY(meta.readAll().contains(R"("login": "anna")"));
    }

    // While the lookup runs the fields it would fill are off and the button stops it; stopping it,
    // the 10 s limit or closing the dialog leave every field as it was, and a late answer changes
    // nothing. Once a server is set the first-start offer is gone.
    void cancelAndLimitChangeNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("line");
        QTest::newRow("Interrompi ricerca") << "button" << "Ricerca interrotta: nessun campo è stato cambiato";
        QTest::newRow("10 s limit") << "limit" << "Nessuna risposta entro 10 secondi: nessun campo è stato cambiato";
        QTest::newRow("Esc closes the dialog") << "escape" << "Ricerca interrotta: nessun campo è stato cambiato";
    }
    void cancelAndLimitChangeNothing()
    {
        QFETCH(QString, how);
        FakeSecureHttpClient http;
        FakeDnsResolver dns;
        FakeTimer limit;
        mail::ProviderLookup lookup(http, dns, limit);
        settings::ModMain settings;
        settings.SMTP = "smtp.old.example:587", settings.From = "anna@example.it";
        settings.Security = "starttls", settings.User = "old";
        app::frmOptions options(settings);
        options.SetProviderLookup(&lookup);
        options.ShowModal();
        QVERIFY(QTest::qWaitForWindowActive(&options));
        QVERIFY(!W<QPushButton>(&options, "cmdTrovaImpostazioni")->isVisible());
        W<QPushButton>(&options, "cmdAccount")->setFocus(Qt::TabFocusReason);
        Key(Qt::Key_Space);
        auto* account = options.findChild<app::frmAccount*>();
        QVERIFY(account && QTest::qWaitForWindowActive(account));
        QTRY_COMPARE(Focus(), W<QWidget>(account, "cboSecurity"));
        const auto fields = [&] {
            return QStringList{W(account, "txtServer")->text(), W<QComboBox>(account, "cboSecurity")->currentText(),
                               W(account, "txtUser")->text()};
        };
        const QStringList before = fields();
        auto* find = W<QPushButton>(account, "cmdTrova");
        find->setFocus(Qt::TabFocusReason);
        Key(Qt::Key_Space);
        QCOMPARE(http.asked.size(), 3);
        QCOMPARE(find->text(), "Interrompi ricerca");
        QVERIFY(!W(account, "txtServer")->isEnabled() && !W(account, "txtUser")->isEnabled());
        // A later source has answered; the earlier ones have not.
        QVERIFY(dns.Answer("SRV _submissions._tcp.example.it", {{"subs.example.it", 465, 0, 0}}));
        if (how == "button")
            Key(Qt::Key_Space);
        else if (how == "limit")
            limit.Fire();
        else
            Key(Qt::Key_Escape);
        QTEST(W<QLabel>(account, "lblSource")->text(), "line");
        QCOMPARE(find->text(), "Trova impostazioni");
        QVERIFY(W(account, "txtServer")->isEnabled());
        QVERIFY(http.running.isEmpty() && dns.running.isEmpty()); // nothing left to answer late
        QCOMPARE(fields(), before);
        if (account->isVisible())
            Key(Qt::Key_Return);
        QTRY_VERIFY(!account->isVisible());
        QCOMPARE(W(&options, "txtSMTP")->text(), "smtp.old.example:587");
    }

    // A known provider's sign-in becomes the account's choice, kept by the two OKs: its preset
    // replaces the overrides typed for another provider; a password provider gets Password.
    void lookupChoosesTheSignIn_data()
    {
        QTest::addColumn<QString>("domain");
        QTest::addColumn<QStringList>("chosen"); // caption, client id left, Auth and OAuthProvider kept
        QTest::newRow("gmail.com") << "gmail.com" << QStringList{"Google", "", "oauth2", "google"};
        QTest::newRow("outlook.com") << "outlook.com" << QStringList{"Microsoft", "", "oauth2", "microsoft"};
        QTest::newRow("libero.it") << "libero.it" << QStringList{"Password", "mio-id", "password", "custom"};
    }
    void lookupChoosesTheSignIn()
    {
        QFETCH(QString, domain);
        FakeSecureHttpClient http;
        FakeDnsResolver dns;
        FakeTimer limit;
        mail::ProviderLookup lookup(http, dns, limit);
        settings::ModMain settings;
        settings.SMTP = "smtp.old.example:587", settings.From = "anna@" + domain, settings.Security = "starttls";
        settings.User = "anna", settings.Auth = "oauth2", settings.OAuthProvider = "custom";
        settings.OAuthClientId = "mio-id";
        app::frmOptions options(settings);
        options.SetProviderLookup(&lookup);
        options.ShowModal();
        QVERIFY(QTest::qWaitForWindowActive(&options));
        W<QPushButton>(&options, "cmdAccount")->setFocus(Qt::TabFocusReason);
        Key(Qt::Key_Space);
        auto* account = options.findChild<app::frmAccount*>();
        QVERIFY(account && QTest::qWaitForWindowActive(account));
        QTRY_COMPARE(Focus(), W<QWidget>(account, "cboSecurity"));
        W<QPushButton>(account, "cmdTrova")->setFocus(Qt::TabFocusReason);
        Key(Qt::Key_Space);
        QCOMPARE(W<QLabel>(account, "lblSource")->text(), "Impostazioni note per " + domain);
        const QStringList shown{W<QComboBox>(account, "cboAuth")->currentText(), W(account, "txtClientId")->text()};
        Key(Qt::Key_Return);
        QTRY_VERIFY(!account->isVisible());
        options.activateWindow();
        QTRY_VERIFY(Focus() && Focus()->window() == &options);
        Key(Qt::Key_Return);
        QTRY_VERIFY(!options.isVisible());
        const QStringList kept{settings.Auth, settings.OAuthProvider};
        QTEST(shown + kept, "chosen");
        QVERIFY(http.asked.isEmpty()); // the built-in table answered
    }
};

QTEST_MAIN(TestAccountLookup)
#include "test_account_lookup.moc"
