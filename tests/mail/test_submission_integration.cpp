// Submission over TLS with a login, through the real dispatcher, session and socket, to Debian's
// aiosmtpd on loopback (STARTTLS required, implicit TLS, AUTH required), with a certificate made
// for the test and trusted through CaFile; a scripted peer for the stalled handshake.
#include "LocalSmtpServer.h"
#include "MailRig.h"
#include "MessageParser.h"
#include "ScriptedSmtpServer.h"
#include "SubmissionServer.h"
#include "platform/QtTcpSocket.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QSslKey>
#include <QSslServer>
#include <QTest>

using namespace mail;
using Rig = MailRig<platform::QtTcpSocket, platform::QtTimer>;
using testsupport::SubmissionServer;

class TestSubmissionIntegration : public QObject {
    Q_OBJECT
    QTemporaryDir received;
    SubmissionServer server;

    // Security, the listener, and the password the store holds for anna at 127.0.0.1.
    template <class AnyRig>
    void Configure(AnyRig& rig, const QString& security, const QString& listener, const QString& stored,
                   bool trustCaFile = true)
    {
        rig.settings.Security = security;
        rig.settings.SMTP = server.Setting(listener);
        rig.settings.User = SubmissionServer::kUser;
        rig.settings.CaFile = trustCaFile ? server.CaFile() : QString();
        if (!stored.isEmpty())
            rig.secrets.entries.insert("anna@127.0.0.1", stored);
    }
    QStringList Delivered() { return QDir(received.path()).entryList({"*.eml"}, QDir::Files, QDir::Name); }
    QByteArray Commands() { return ReadFile(received.filePath("commands.log")); }
    void Reset()
    {
        for (const QString& name : QDir(received.path()).entryList(QDir::Files))
            QFile::remove(received.filePath(name));
    }

private Q_SLOTS:
    void initTestCase() { QVERIFY2(server.Start(received.path()), qPrintable(server.Output())); }
    void init() { Reset(); }

    // STARTTLS + AUTH PLAIN delivers the very bytes the plain session delivers today, with the
    // Date and Message-ID a submission adds, which a mail reader's parser takes.
    void starttlsAndPlainDeliverTodaysBytes()
    {
        QTemporaryDir plainReceived;
        testsupport::LocalSmtpServer plain;
        QVERIFY2(plain.Start(plainReceived.path()), qPrintable(plain.Output()));
        Rig before, after;
        before.settings.SMTP = plain.Setting();
        Configure(after, "starttls", "starttls", SubmissionServer::kPassword);
        const auto a = before.Queue("Saluti", "uno\n.due\n.\ntre", "Ann"), b = after.Queue("Saluti", "uno\n.due\n.\ntre", "Ann");
        QVERIFY(before.SendNext() && after.SendNext());
        QCOMPARE(after.lstLog.Lines(), QStringList{Outbox::OkLine(*b)});
        QCOMPARE(Delivered(), QStringList{"0001.eml"}); // the first test: the server's first message
        QByteArray submitted = ReadFile(received.filePath("0001.eml"));
        const QRegularExpression added("\r\nDate: ([^\r]*)\r\nMessage-ID: <([^\r]*)>\r\n");
        const QRegularExpressionMatch headers = added.match(QString::fromLatin1(submitted));
        QVERIFY2(headers.hasMatch(), submitted.constData());
        QCOMPARE(headers.captured(2), b->mailUid + "@example.it");
        QString error;
        const QJsonArray parsed = testsupport::ParseMessages({received.filePath("0001.eml")}, &error);
        QVERIFY2(parsed.size() == 1, qPrintable(error));
        const QJsonObject date = parsed.at(0).toObject().value("date").toObject();
        QVERIFY(qAbs(date.value("epoch").toDouble() - QDateTime::currentSecsSinceEpoch()) < 60);
        QCOMPARE(parsed.at(0).toObject().value("defects").toArray(), QJsonArray());
        submitted.replace(headers.capturedStart(0), headers.capturedLength(0), "\r\n");
        QCOMPARE(submitted, ReadFile(plainReceived.filePath("0001.eml")));
        QCOMPARE(ReadFile(received.filePath("0001.json")),
                 R"({"mail_from": "io@example.it", "rcpt_tos": ["ann@example.it"], "login": "anna"})");
        QCOMPARE(Commands(), "starttls STARTTLS\nstarttls AUTH\nstarttls MAIL\n");
        QVERIFY(after.dialogs.passwordQuestions.isEmpty() && after.dialogs.shown.isEmpty());
        QCOMPARE(after.LogText(), after.sendLog.Entry(*b).toUtf8());
    }

    // Implicit TLS (the Security word in any case) to a server that offers only AUTH LOGIN.
    void implicitTlsAndLogin()
    {
        Rig rig;
        Configure(rig, "TLS", "tls", SubmissionServer::kPassword);
        const auto record = rig.Queue("Implicito", "via 465");
        QVERIFY(rig.SendNext());
        QCOMPARE(rig.lstLog.Lines(), QStringList{Outbox::OkLine(*record)});
        QCOMPARE(Commands(), "tls AUTH\ntls MAIL\n");
        QVERIFY(ReadFile(received.filePath(Delivered().value(0).replace(".eml", ".json"))).contains(R"("login": "anna")"));
    }

    // Nothing goes to a server that does not encrypt, or that hides a command behind its 220.
    void refusedBeforeTls_data()
    {
        QTest::addColumn<QString>("listener");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QByteArray>("commands");
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("ownLine");
        const QString held = "HELD - Anna anna@example.it - s t";
        QTest::newRow("AUTH offered, STARTTLS not") << "plain" << "ERR - Il server non offre STARTTLS: non è stato inviato nulla."
                                                     << QByteArray() << "starttls" << held;
        QTest::newRow("reply injected after the 220")
            << "inject" << "ERR - Il server ha mandato altro dopo il suo 220 a STARTTLS: sessione chiusa prima di TLS"
            << QByteArray("inject STARTTLS\n") << "starttls" << "ERR - Anna anna@example.it - s t";
        // OpenSSL reads the plain greeting as a TLS record: the port and Security do not match.
        QTest::newRow("implicit TLS at a STARTTLS port") << "starttls" << "ERR - Error during SSL handshake: "
            "error:0A00010B:SSL routines::wrong version number. La porta" << QByteArray() << "tls" << held;
    }
    void refusedBeforeTls()
    {
        QFETCH(QString, listener);
        QFETCH(QString, error);
        QFETCH(QString, security);
        Rig rig;
        Configure(rig, security, listener, SubmissionServer::kPassword);
        rig.Queue();
        QVERIFY(rig.SendNext());
        QCOMPARE(rig.lstLog.LineCount(), 2);
        QVERIFY2(rig.lstLog.Line(0).startsWith(error), qPrintable(rig.lstLog.Line(0)));
        QTEST(rig.lstLog.Line(1), "ownLine");
        QTest::qWait(200); // anything late would reach the log now
        QTEST(Commands(), "commands");
        QVERIFY(Delivered().isEmpty());
    }

    // A wrong stored password: the refusal says so, and the next message asks for a new one.
    void wrongPasswordIsForgotten()
    {
        MailRig<platform::QtTcpSocket, platform::QtTimer, true> rig; // with retries
        Configure(rig, "starttls", "starttls", "sbagliata");
        const auto first = rig.Queue("s", "uno");
        QVERIFY2(rig.SendNext(), qPrintable(QString::number(rig.session.SendState()) + rig.lstLog.Lines().join('|')));
        QCOMPARE(rig.lstLog.Lines().size(), 2);
        QVERIFY2(rig.lstLog.Line(0).startsWith("ERR - Password rifiutata dal server per anna@127.0.0.1: 535 "),
                 qPrintable(rig.lstLog.Line(0)));
        // The login was refused, not the message: it waits for the user.
        QCOMPARE(rig.lstLog.Line(1), "HELD - Anna anna@example.it - s uno");
        QVERIFY(rig.dialogs.passwordQuestions.isEmpty());
        rig.dialogs.passwordAnswers.enqueue({true, SubmissionServer::kPassword, true});
        const auto second = rig.Queue("s", "due");
        QVERIFY2(rig.SendNext(), qPrintable(rig.lstLog.Lines().join('|')));
        QCOMPARE(rig.dialogs.passwordQuestions.size(), 1);
        QCOMPARE(rig.lstLog.Lines().last(), Outbox::OkLine(*second));
        QCOMPARE(rig.secrets.entries.value("anna@127.0.0.1"), SubmissionServer::kPassword);
        QVERIFY(rig.outbox.RetryNow(first->mailID)); // "Riprova ora": it goes with the password now known
        QVERIFY(rig.SendNext());
        QCOMPARE(rig.lstLog.Line(1), Outbox::OkLine(*first));
        QCOMPARE(rig.dialogs.passwordQuestions.size(), 1);
        QCOMPARE(Commands(), "starttls STARTTLS\nstarttls AUTH\nstarttls STARTTLS\nstarttls AUTH\nstarttls MAIL\n"
                             "starttls STARTTLS\nstarttls AUTH\nstarttls MAIL\n");
    }

    // A certificate no CA vouches for: nothing is sent while the question is open; No ends the
    // session with the reason and the fingerprint; Yes stores the fingerprint and the message
    // goes; from then on that certificate passes without a question.
    void unknownCertificate()
    {
        Rig rig;
        Configure(rig, "starttls", "starttls", SubmissionServer::kPassword, false);
        rig.Queue("s", "no");
        rig.dispatcher.Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(rig.dialogs.TrustOpen(), 20000);
        const QString question = rig.dialogs.shown.last().text;
        QVERIFY2(question.contains("127.0.0.1") && question.contains(server.Fingerprint())
                     && question.endsWith("Fidarsi di questo certificato?"),
                 qPrintable(question));
        QCOMPARE(rig.session.SendState(), SmtpDialogue::kTrust);
        rig.dispatcher.Timer1_Timer(); // the question holds the dispatcher
        QCOMPARE(Commands(), "starttls STARTTLS\n");
        rig.dialogs.AnswerTrust(false);
        QCOMPARE(rig.session.SendState(), 0);
        QVERIFY2(rig.lstLog.Line(0).startsWith("ERR - Certificato di 127.0.0.1 non accettato: ")
                     && rig.lstLog.Line(0).contains("(SHA-256 " + server.Fingerprint() + ")."),
                 qPrintable(rig.lstLog.Line(0)));
        QVERIFY(rig.settings.TrustedCertificate.isEmpty());

        const auto yes = rig.Queue("s", "yes");
        rig.dispatcher.Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(rig.dialogs.TrustOpen(), 20000);
        rig.dialogs.AnswerTrust(true);
        QTRY_COMPARE_WITH_TIMEOUT(rig.session.SendState(), 0, 20000);
        const QString pinned = server.Setting("starttls");
        QCOMPARE(rig.settings.TrustedCertificate, pinned + " " + server.Fingerprint());
        rig.dialogs.trustAnswers.enqueue(false); // a question now would refuse
        const auto again = rig.Queue("s", "again");
        QVERIFY(rig.SendNext());
        QCOMPARE(rig.lstLog.Lines().mid(2), QStringList({Outbox::OkLine(*yes), Outbox::OkLine(*again)}));
        QCOMPARE(rig.dialogs.shown.size(), 2);
        // The trust is for that host and port only, and for that certificate: each of these asks
        // again (and is answered No). An entry of an earlier build, the host alone, stands for its
        // default port, here not the listener's.
        const QList<QStringList> others = {
            {"starttls", "localhost:" + QString::number(server.Port("starttls")), pinned + " " + server.Fingerprint()},
            {"tls", server.Setting("tls"), pinned + " " + server.Fingerprint()},
            {"starttls", pinned, pinned + " 00:11:22:33:44:55:66:77:88:99:AA:BB:CC:DD:EE:FF"},
            {"starttls", pinned, "127.0.0.1 " + server.Fingerprint()}};
        for (const QStringList& other : others) {
            rig.settings.Security = other[0];
            rig.settings.SMTP = other[1];
            rig.settings.TrustedCertificate = other[2];
            rig.dialogs.passwordAnswers.enqueue({true, SubmissionServer::kPassword, false}); // anna@localhost
            rig.dialogs.trustAnswers.enqueue(false);
            const qsizetype asked = rig.dialogs.shown.size();
            rig.Queue("s", "other");
            QVERIFY(rig.SendNext());
            QVERIFY2(rig.dialogs.shown.size() > asked && rig.dialogs.shown.last().text.endsWith("Fidarsi di questo certificato?"),
                     qPrintable(other.join(' ')));
        }
        QCOMPARE(Delivered().size(), 2);
    }

    // TLS as strict as a careful mail client, against an in-process server: a TLS 1.2 suite
    // without forward secrecy is never agreed, and a certificate whose CN names the host while
    // its subjectAltNames name another is a wrong name, asked about like any other fault.
    void strictTls_data()
    {
        QTest::addColumn<QString>("suite");   // the server's only TLS 1.2 suite
        QTest::addColumn<QString>("altNames");
        QTest::addColumn<QString>("outcome");
        const QString ours = "DNS:localhost,IP:127.0.0.1";
        QTest::newRow("RSA key exchange, CBC") << "AES128-SHA" << ours << "error";
        QTest::newRow("ECDHE, CBC") << "ECDHE-RSA-AES128-SHA" << ours << "error";
        QTest::newRow("ECDHE, GCM") << "ECDHE-RSA-AES128-GCM-SHA256" << ours << "encrypted";
        QTest::newRow("CN matches, alt names another host") << "ECDHE-RSA-AES128-GCM-SHA256" << "DNS:mail.example.net"
                                                            << "question";
        QTest::newRow("wildcard does not stand for an address") << "ECDHE-RSA-AES128-GCM-SHA256" << "DNS:*.0.0.1"
                                                                << "question";
    }
    void strictTls()
    {
        QFETCH(QString, suite);
        QFETCH(QString, altNames);
        QTemporaryDir dir;
        const QString cert = dir.filePath("cert.pem"), key = dir.filePath("key.pem");
        QProcess openssl;
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=127.0.0.1",
                                  "-addext", "subjectAltName=" + altNames, "-keyout", key, "-out", cert});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        QFile certFile(cert), keyFile(key);
        QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
        QSslConfiguration serverTls = QSslConfiguration::defaultConfiguration();
        serverTls.setLocalCertificate(QSslCertificate(certFile.readAll()));
        serverTls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
        serverTls.setProtocol(QSsl::TlsV1_2);
        serverTls.setCiphers(suite);
        QSslServer tlsServer;
        tlsServer.setSslConfiguration(serverTls);
        QVERIFY(tlsServer.listen(QHostAddress::LocalHost));

        platform::QtTcpSocket client;
        QString outcome;
        connect(&client, &platform::ITcpSocket::encrypted, this, [&] { outcome += "encrypted"; });
        connect(&client, &platform::ITcpSocket::errorOccurred, this, [&] { outcome += outcome.isEmpty() ? "error" : ""; });
        connect(&client, &platform::ITcpSocket::sslErrors, this, [&](const QString& reasons) {
            outcome += "question";
            QVERIFY2(reasons.contains("host name"), qPrintable(reasons));
        });
        client.ConnectToHost("127.0.0.1", tlsServer.serverPort(), platform::Encryption::Implicit, cert);
        QTRY_VERIFY_WITH_TIMEOUT(!outcome.isEmpty(), 20000);
        QTEST(outcome, "outcome");
        client.Close();
    }

    // A server that takes the connection and never completes the handshake times out.
    void stalledHandshakeTimesOut_data()
    {
        QTest::addColumn<QString>("security");
        QTest::addColumn<QByteArrayList>("replies");
        QTest::newRow("after STARTTLS") << "starttls"
                                        << QByteArrayList{"220 ready\r\n", "250-hi\r\n250 STARTTLS\r\n", "220 go ahead\r\n"};
        QTest::newRow("implicit TLS") << "tls" << QByteArrayList{};
    }
    void stalledHandshakeTimesOut()
    {
        QFETCH(QString, security);
        QFETCH(QByteArrayList, replies);
        testsupport::ScriptedSmtpServer stalled;
        stalled.replies = replies;
        Rig rig;
        rig.settings.Security = security;
        rig.settings.SMTP = stalled.Address();
        rig.session.SetTimeouts({1000, 1000});
        rig.Queue();
        QVERIFY(rig.SendNext());
        QCOMPARE(rig.lstLog.Lines(), QStringList({"ERR - Nessuna risposta dal server entro 1 secondo",
                                                  "ERR - Anna anna@example.it - s t"}));
    }
};

QTEST_GUILESS_MAIN(TestSubmissionIntegration)
#include "test_submission_integration.moc"
