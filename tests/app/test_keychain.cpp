// The password's road through the desktop's real secret store (gnome-keyring's Secret Service on
// a private bus), and without any store. Run only by tests/support/with_keyring.sh, which gives
// each function its own process, a fresh HOME and its own bus: the window runs on the real
// settings file, socket, timers and store; only the dialogs answer from presets.
#include "Fakes.h"
#include "OAuthServer.h"
#include "SubmissionServer.h"
#include "app/frmMain.h"
#include "platform/SettingsStore.h"

#include <QDirIterator>
#include <QtTest>
#include <QtWidgets>

using testsupport::OAuthServer;
using testsupport::SubmissionServer;

class TestKeychain : public QObject {
    Q_OBJECT
    const QString root = qEnvironmentVariable("BREVILO_KEYRING_ROOT");
    QTemporaryDir received{root + "/received-XXXXXX"};
    SubmissionServer server;
    testsupport::FakeDialogs dialogs;
    testsupport::FakeDesktop desktop;
    testsupport::FakeBrowser browser;
    OAuthServer provider;

    // What a person would have set in the configuration, in the real Brevilo.conf.
    void Configure(const QStringList& keys)
    {
        platform::QtSettingsStore store;
        for (int i = 0; i + 1 < keys.size(); i += 2)
            store.WriteSetting("Brevilo", "Address", keys[i], keys[i + 1]);
        QVERIFY(store.Sync());
    }
    // The same account signing in with OAuth at the fake provider, whose tokens outlive its process.
    void ConfigureOAuth()
    {
        QVERIFY2(provider.Start(QString(), root + "/provider-state.json"), qPrintable(provider.Output()));
        Configure({"SMTP", provider.Setting("both"), "User", OAuthServer::kUser, "CaFile", provider.CaFile(), "Auth", "oauth2",
                   "OAuthProvider", "custom", "OAuthClientId", OAuthServer::kClientId, "OAuthAuthorizeUrl", provider.Url("authorize"),
                   "OAuthTokenUrl", provider.Url("token"), "OAuthScope", "smtp"});
    }
    // Types one message into the window and returns its status line once the session has ended.
    QString SendThroughWindow(const QString& text)
    {
        app::frmMainDeps deps;
        deps.dialogs = &dialogs, deps.desktop = &desktop, deps.browser = &browser, deps.dataDirectory = root + "/data";
        app::frmMain w(deps);
        w.show();
        QTest::keyClicks(w.findChild<QWidget*>("txtTo"), "bea@example.invalid");
        QTest::keyClicks(w.findChild<QWidget*>("txtTesto"), text);
        QTest::mouseClick(w.findChild<QPushButton*>("cmdInvia"), Qt::LeftButton);
        auto* log = w.findChild<QListWidget*>("lstLog");
        if (!QTest::qWaitFor([&] { return log->count() > 0 && !log->item(0)->text().startsWith("QUEUED"); }, 30000))
            return "no outcome within 30 seconds";
        const QString line = log->item(0)->text();
        w.close(); // saves the settings, which must hold no password either
        return line;
    }
    QString Keyring(const QString& user = "anna@127.0.0.1") // asked of the store by another program
    {
        QProcess tool;
        tool.start("secret-tool", {"lookup", "user", user, "server", "Brevilo"});
        tool.waitForFinished(20000);
        return QString::fromUtf8(tool.readAllStandardOutput());
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (root.isEmpty())
            QSKIP("needs the private bus and HOME of tests/support/with_keyring.sh");
        QCoreApplication::setOrganizationName("Brevilo");
        QCoreApplication::setApplicationName("Brevilo");
        QVERIFY2(server.Start(received.path()), qPrintable(server.Output()));
        Configure({"SMTP", server.Setting("starttls"), "From", "anna@example.invalid", "Name", "Anna", "TempoAttesa", "0",
                   "Security", "starttls", "User", SubmissionServer::kUser, "CaFile", server.CaFile(), "Auth", "password"});
        QVERIFY(QDir().mkpath(root + "/data"));
    }

    // Asked once, with the box checked: the message goes and the store holds the password. Then
    // the sign-in in the browser leaves its refresh token beside (not over) the password of the
    // same user at the same host.
    void storedThroughTheWindow()
    {
        dialogs.passwordAnswers.enqueue({true, SubmissionServer::kPassword, true});
        QCOMPARE(SendThroughWindow("primo"), "OK -  bea@example.invalid - : primo");
        QVERIFY(dialogs.passwordQuestions.size() == 1 && dialogs.passwordQuestions[0].storeAvailable);
        ConfigureOAuth();
        QCOMPARE(SendThroughWindow("con token"), "OK -  bea@example.invalid - : con token");
        QTRY_VERIFY_WITH_TIMEOUT(!Keyring(QString(OAuthServer::kUser) + "@127.0.0.1 oauth2 custom").isEmpty(), 20000);
        QTRY_COMPARE_WITH_TIMEOUT(Keyring(), SubmissionServer::kPassword, 20000);
    }

    // A new process on a new bus and daemon: the password and the refresh token come from the
    // keyring on disk, with no question and no browser.
    void foundBySecondRun()
    {
        QCOMPARE(SendThroughWindow("secondo"), "OK -  bea@example.invalid - : secondo");
        QVERIFY(dialogs.passwordQuestions.isEmpty());
        ConfigureOAuth();
        QCOMPARE(SendThroughWindow("senza browser"), "OK -  bea@example.invalid - : senza browser");
        QVERIFY(browser.opened.isEmpty() && provider.Stat("refresh") == 1);
    }

    // No session bus: the dialog says so, and the password lasts for this run only. After it,
    // neither the settings, the send log, the server's files, the keyring files nor the tests' own
    // output holds the password, in clear or as sent in AUTH, nor any token handed out.
    void noSessionBusThenPasswordInNoFile()
    {
        QVERIFY(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"));
        dialogs.passwordAnswers.enqueue({true, SubmissionServer::kPassword, false});
        QCOMPARE(SendThroughWindow("senza bus"), "OK -  bea@example.invalid - : senza bus");
        QVERIFY(dialogs.passwordQuestions.size() == 1 && !dialogs.passwordQuestions[0].storeAvailable);

        const QByteArray password = SubmissionServer::kPassword;
        QByteArrayList forms = {password, password.toBase64(), ("\0anna\0" + password).toBase64()};
        QFile state(root + "/provider-state.json");
        QVERIFY(state.open(QIODevice::ReadOnly));
        const QVariantList issued = QJsonDocument::fromJson(state.readAll()).object().value("issued").toArray().toVariantList();
        QVERIFY(issued.size() >= 3);
        for (const QVariant& token : issued)
            forms.append(token.toString().toUtf8());
        int files = 0;
        for (QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
            QFile file(it.next());
            if (it.fileName().startsWith("provider-state") || !file.open(QIODevice::ReadOnly))
                continue;
            const QByteArray bytes = file.readAll();
            ++files;
            for (const QByteArray& form : forms)
                QVERIFY2(!bytes.contains(form), qPrintable(file.fileName()));
        }
        QVERIFY(QFile::exists(root + "/home/.config/Brevilo/Brevilo.conf") && QFile::exists(root + "/data/log.txt")
                && QDir(root + "/home/.local/share/keyrings").exists() && files >= 6);
    }
};

QTEST_MAIN(TestKeychain)
#include "test_keychain.moc"
