// Signing in with OAuth 2.0 against a fake provider and aiosmtpd on 127.0.0.1: the real token flow,
// socket and TLS; the browser is a fake that follows the provider's redirect. The functions run in
// order and share the provider, the secret store and the tokens in memory.
#include "MailRig.h"
#include "OAuthServer.h"
#include "mail/OAuthTokens.h"
#include "platform/QtTcpSocket.h"

#include <QDirIterator>
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

    void Account(const QString& listener, const QString& user = OAuthServer::kUser)
    {
        rig.settings.SMTP = server.Setting(listener);
        rig.settings.User = user;
    }
    // Sends a message now; true once it has its OK line.
    bool Send(const QString& text)
    {
        const auto record = rig.Queue("s", text);
        return rig.SendNext() && rig.lstLog.Lines().contains(Outbox::OkLine(*record));
    }
    // The AUTH and MAIL commands the server saw.
    QStringList Commands() const
    {
        QStringList lines = QString::fromUtf8(ReadFile(saved.filePath("commands.log"))).split('\n', Qt::SkipEmptyParts);
        lines.removeIf([](const QString& line) { return line.endsWith(" STARTTLS"); });
        return lines;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(server.Start(saved.path()), qPrintable(server.Output()));
        rig.session.SetTokenSource(&tokens);
        rig.settings.Security = "starttls";
        rig.settings.CaFile = server.CaFile();
        rig.settings.Auth = "oauth2";
        rig.settings.OAuthProvider = "custom";
        rig.settings.OAuthClientId = OAuthServer::kClientId;
        rig.settings.OAuthAuthorizeUrl = server.Url("authorize");
        rig.settings.OAuthTokenUrl = server.Url("token");
        rig.settings.OAuthScope = "smtp offline_access";
        rig.outbox.SetRetryDelays({3600});
    }

    // The first message opens the browser once. The provider takes only PKCE S256 and a loopback
    // redirect, and the token is for the user the page named.
    void signInThenSend()
    {
        Account("both");
        QVERIFY(Send("primo"));
        QCOMPARE(browser.opened.size(), 1);
        QVERIFY(QUrlQuery(browser.opened[0]).queryItemValue("state").size() >= 32);
        QTRY_VERIFY(browser.pages.size() == 1);
        QVERIFY(browser.pages[0].contains("Puoi chiudere questa pagina"));
        QCOMPARE(server.Stat("code"), 1);
        QCOMPARE(rig.secrets.entries.keys(), QStringList{QString(OAuthServer::kUser) + "@127.0.0.1 oauth2 custom"});
        // A Microsoft-sized token in one AUTH line, OAUTHBEARER where it is offered.
        QCOMPARE(Commands().first(), "both AUTH OAUTHBEARER ok 4096");
    }

    // The token in memory serves the next message; one due within a minute is renewed first,
    // and one the server refuses is renewed once: none of them opens the browser.
    void withoutTheBrowser_data()
    {
        QTest::addColumn<QString>("listener");
        QTest::addColumn<int>("advanceSeconds");
        QTest::addColumn<bool>("revoke");
        QTest::addColumn<int>("refreshes");
        QTest::newRow("token in memory") << "both" << 0 << false << 0;
        QTest::newRow("due within a minute") << "both" << 3600 - 50 << false << 1;
        QTest::newRow("refused by the server") << "xoauth2" << 0 << true << 1;
    }
    void withoutTheBrowser()
    {
        QFETCH(QString, listener);
        QFETCH(int, advanceSeconds);
        QFETCH(bool, revoke);
        Account(listener);
        rig.clock.AdvanceSeconds(advanceSeconds);
        QVERIFY(!revoke || server.Control("revoke_access", "1"));
        const int refreshes = server.Stat("refresh");
        const qsizetype commands = Commands().size();
        QVERIFY(Send(QTest::currentDataTag()));
        QCOMPARE(browser.opened.size(), 1);
        QTEST(server.Stat("refresh") - refreshes, "refreshes");
        QCOMPARE(Commands().at(Commands().size() - 2), listener == "both" ? "both AUTH OAUTHBEARER ok 4096" : "xoauth2 AUTH XOAUTH2 ok 4096");
        if (revoke) // the refused token, closed with the empty line XOAUTH2 expects
            QCOMPARE(Commands().at(commands), "xoauth2 AUTH XOAUTH2 refused <empty>");
    }

    // A refresh token the provider no longer takes is deleted, and the browser opens again.
    void refusedRefreshToken()
    {
        Account("both");
        QVERIFY(server.Control("refuse_refresh", "1"));
        rig.clock.AdvanceSeconds(7200);
        const QString before = rig.secrets.entries.value(QString(OAuthServer::kUser) + "@127.0.0.1 oauth2 custom");
        QVERIFY(Send("di nuovo"));
        QVERIFY(server.Control("refuse_refresh", "0"));
        QCOMPARE(browser.opened.size(), 2);
        QCOMPARE(server.Stat("refused_refresh"), 1);
        const QString after = rig.secrets.entries.value(QString(OAuthServer::kUser) + "@127.0.0.1 oauth2 custom");
        QVERIFY(!after.isEmpty() && after != before);
    }

    // Each sign-in that gives no token holds the message for the user, with the reason and what
    // to do; a token endpoint out of reach leaves it to the clock. Nothing reaches the SMTP server.
    void signInFails_data()
    {
        QTest::addColumn<QString>("authorize");
        QTest::addColumn<QString>("reason");
        QTest::newRow("a state that does not match")
            << "wrongstate" << "Accesso per %1: la risposta del browser non corrisponde alla richiesta (state diverso). ";
        QTest::newRow("an error from the provider") << "error" << "Accesso per %1 rifiutato dal fornitore: access_denied. ";
        QTest::newRow("no answer within 5 minutes") << "timeout" << "Accesso per %1: nessuna risposta dal browser entro 5 minuti. ";
        QTest::newRow("the token endpoint out of reach") << "unreachable" << "Accesso per %1: il fornitore non ha dato il token (";
    }
    void signInFails()
    {
        QFETCH(QString, authorize);
        QFETCH(QString, reason);
        // A user never signed in, so the browser is needed.
        const QString user = QString(QTest::currentDataTag()).section(' ', -1) + "@example.invalid";
        Account("both", user);
        const QString tokenUrl = rig.settings.OAuthTokenUrl;
        if (authorize == "unreachable")
            rig.settings.OAuthTokenUrl = "http://127.0.0.1:9/token"; // the discard port, closed
        QVERIFY(server.Control("authorize", authorize == "timeout" ? "ignore" : authorize == "unreachable" ? "consent" : authorize));
        const qsizetype opened = browser.opened.size();
        const qsizetype commands = Commands().size();
        QSignalSpy waiting(&tokens, &OAuthTokens::signInWaiting);
        QSignalSpy ended(&tokens, &OAuthTokens::signInEnded);
        rig.Queue("s", "trattenuto");
        rig.dispatcher.Timer1_Timer();
        QTRY_COMPARE(browser.opened.size(), opened + 1);
        QCOMPARE(waiting.value(0).value(0).toString(), user + " (127.0.0.1)");
        if (authorize == "timeout")
            signInTimer.Fire();
        QTRY_COMPARE_WITH_TIMEOUT(rig.session.SendState(), 0, 20000);
        rig.settings.OAuthTokenUrl = tokenUrl;
        QCOMPARE(ended.size(), 1);
        const QStringList lines = rig.lstLog.Lines();
        QVERIFY2(lines.first().startsWith("ERR - " + reason.arg(user + " (127.0.0.1)")), qPrintable(lines.first()));
        QVERIFY2(lines.last().startsWith(authorize == "unreachable" ? "RETRY " : "HELD - ") && lines.last().endsWith(" - s trattenuto"),
                 qPrintable(lines.last()));
        QCOMPARE(rig.outbox.mailQueue().Count(), 1);
        QCOMPARE(Commands().size(), commands);
        rig.outbox.DiscardQueued();
        rig.lstLog.Clear();
        QVERIFY(server.Control("authorize", "consent"));
    }

    // No token the provider handed out is in a status line, the send log or the outbox files.
    void noTokenInAnyFile()
    {
        const QStringList issued = server.Issued();
        QVERIFY(issued.size() >= 4);
        QStringList texts = rig.lstLog.Lines();
        for (QDirIterator it(rig.dir.path(), QDir::Files, QDirIterator::Subdirectories); it.hasNext();)
            texts.append(QString::fromUtf8(ReadFile(it.next())));
        QVERIFY(texts.join('\n').contains("primo"));
        for (const QString& token : issued)
            for (const QString& text : texts)
                QVERIFY(!text.contains(token));
    }
};

QTEST_GUILESS_MAIN(TestOAuthIntegration)
#include "test_oauth_integration.moc"
