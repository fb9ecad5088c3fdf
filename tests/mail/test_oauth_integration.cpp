// Signing in with OAuth 2.0 against a fake provider and aiosmtpd on 127.0.0.1: the real token flow,
// socket and TLS; the browser is a fake that follows the provider's redirect. The functions run in
// order and share the provider, the secret store and the tokens in memory.
#include "MailRig.h"
#include "OAuthServer.h"
#include "mail/OAuthTokens.h"
#include "platform/QtTcpSocket.h"

#include <QSignalSpy>
#include <QTest>
#include <QUrlQuery>

using namespace mail;
using testsupport::OAuthServer;

class TestOAuthIntegration : public QObject {
    Q_OBJECT
    QTemporaryDir saved;
    OAuthServer server;
    MailRig<platform::QtTcpSocket, platform::QtTimer, true> rig;
    testsupport::FakeBrowser browser;
    testsupport::FakeTimer signInTimer;
    OAuthTokens tokens{rig.secrets, browser, signInTimer, rig.clock};

    // The AUTH and MAIL commands the server saw.
    QStringList Commands() const { return QString::fromUtf8(ReadFile(saved.filePath("commands.log"))).split('\n', Qt::SkipEmptyParts); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(server.Start(saved.path()), qPrintable(server.Output()));
        rig.session.SetTokenSource(&tokens);
        rig.settings.User = OAuthServer::kUser;
        rig.settings.Security = "starttls";
        rig.settings.CaFile = server.CaFile();
        rig.settings.Auth = "oauth2";
        rig.settings.OAuthProvider = "custom";
        rig.settings.OAuthClientId = OAuthServer::kClientId;
        rig.settings.OAuthAuthorizeUrl = server.Url("authorize");
        rig.settings.OAuthTokenUrl = server.Url("token");
        rig.settings.OAuthScope = "smtp offline_access";
    }

    // The first message opens the browser once; the provider takes only PKCE S256 and a loopback
    // redirect, and the token is for the user the page named. The token in memory serves the
    // next message; one due within a minute is renewed first, and one the server refuses is
    // renewed once: none of them opens the browser. A refresh token the provider no longer takes
    // is deleted, and the browser opens again.
    void send_data()
    {
        QTest::addColumn<QString>("listener");
        QTest::addColumn<int>("advanceSeconds");
        QTest::addColumn<QString>("control"); // set for this row only
        QTest::addColumn<int>("refreshes");   // asked for, granted or not
        QTest::addColumn<int>("signIns");
        QTest::addColumn<QString>("firstAuth");
        // A Microsoft-sized token in one AUTH line, OAUTHBEARER where it is offered.
        const QString bearer = "both AUTH OAUTHBEARER ok 4096";
        QTest::newRow("first message") << "both" << 0 << "" << 0 << 1 << bearer;
        QTest::newRow("token in memory") << "both" << 0 << "" << 0 << 0 << bearer;
        QTest::newRow("due within a minute") << "both" << 3600 - 50 << "" << 1 << 0 << bearer;
        // The refused token is closed with the empty line XOAUTH2 expects.
        QTest::newRow("refused by the server") << "xoauth2" << 0 << "revoke_access" << 1 << 0 << "xoauth2 AUTH XOAUTH2 refused <empty>";
        QTest::newRow("refresh token refused") << "both" << 7200 << "refuse_refresh" << 1 << 1 << bearer;
    }
    void send()
    {
        QFETCH(QString, listener);
        QFETCH(int, advanceSeconds);
        QFETCH(QString, control);
        QFETCH(int, signIns);
        rig.settings.SMTP = server.Setting(listener);
        rig.clock.AdvanceSeconds(advanceSeconds);
        QVERIFY(control.isEmpty() || server.Control(control, "1"));
        const int refreshes = server.Stat("refresh") + server.Stat("refused_refresh");
        const qsizetype commands = Commands().size(), opened = browser.opened.size();
        const auto record = rig.Queue("s", QTest::currentDataTag());
        QVERIFY(rig.SendNext() && rig.lstLog.Lines().contains(Outbox::OkLine(*record)));
        QVERIFY(control.isEmpty() || server.Control(control, "0"));
        QCOMPARE(int(browser.opened.size() - opened), signIns);
        QTEST(server.Stat("refresh") + server.Stat("refused_refresh") - refreshes, "refreshes");
        QTEST(Commands().at(commands), "firstAuth");
        if (signIns) {
            QVERIFY(QUrlQuery(browser.opened.last()).queryItemValue("state").size() >= 32);
            QTRY_COMPARE(browser.pages.size(), browser.opened.size());
            QVERIFY(browser.pages.last().contains("Accesso riuscito. Puoi chiudere questa pagina"));
        }
    }

    // Each sign-in that gives no token holds the message for the user, with the reason and what
    // to do; a token endpoint out of reach leaves it to the clock. Nothing reaches the SMTP server.
    void signInFails_data()
    {
        QTest::addColumn<QString>("authorize"); // what the provider's page does
        QTest::addColumn<QString>("reason");
        QTest::newRow("a state that does not match")
            << "wrongstate" << "Accesso per %1: la risposta del browser non corrisponde alla richiesta (state diverso). ";
        QTest::newRow("an error from the provider") << "error" << "Accesso per %1 rifiutato dal fornitore: access_denied. ";
        QTest::newRow("no answer within 5 minutes") << "ignore" << "Accesso per %1: nessuna risposta dal browser entro 5 minuti. ";
        // The page consents, but the token endpoint is out of reach.
        QTest::newRow("the token endpoint out of reach") << "consent" << "Accesso per %1: il fornitore non ha dato il token (";
    }
    void signInFails()
    {
        QFETCH(QString, authorize);
        QFETCH(QString, reason);
        // A user never signed in, so the browser is needed.
        const QString user = QString(QTest::currentDataTag()).section(' ', -1) + "@example.invalid";
        rig.settings.SMTP = server.Setting("both");
        rig.settings.User = user;
        // Out of reach: the discard port, closed.
        rig.settings.OAuthTokenUrl = authorize == "consent" ? "http://127.0.0.1:9/token" : server.Url("token");
        QVERIFY(server.Control("authorize", authorize));
        const qsizetype opened = browser.opened.size(), commands = Commands().size();
        QSignalSpy waiting(&tokens, &OAuthTokens::signInWaiting);
        QSignalSpy ended(&tokens, &OAuthTokens::signInEnded);
        rig.Queue("s", "trattenuto");
        rig.dispatcher.Timer1_Timer();
        QTRY_COMPARE(browser.opened.size(), opened + 1);
        QCOMPARE(waiting.value(0).value(0).toString(), user + " (127.0.0.1)");
        if (authorize == "ignore")
            signInTimer.Fire();
        QTRY_COMPARE_WITH_TIMEOUT(rig.session.SendState(), 0, 20000);
        QCOMPARE(ended.size(), 1);
        QVERIFY(rig.lstLog.Lines().first().startsWith("ERR - " + reason.arg(user + " (127.0.0.1)")));
        QVERIFY(rig.lstLog.Lines().last().startsWith(authorize == "consent" ? "RETRY " : "HELD - "));
        QCOMPARE(Commands().size(), commands);
        rig.outbox.DiscardQueued();
        rig.lstLog.Clear();
    }
};

QTEST_GUILESS_MAIN(TestOAuthIntegration)
#include "test_oauth_integration.moc"
