// Delivery through the real dispatcher, session and socket to aiosmtpd on loopback: plain, and
// submission over TLS with a login (STARTTLS required, implicit TLS, AUTH required) with a
// certificate made for the test and trusted through CaFile; an in-process TLS server and a scripted
// peer for what aiosmtpd cannot do.
#include "LocalSmtpServer.h"
#include "MailRig.h"
#include "ScriptedSmtpServer.h"
#include "SubmissionServer.h"
#include "platform/QtTcpSocket.h"

#include <QSslKey>
#include <QSslServer>
#include <QTest>

#include <ctime>

using namespace mail;
using Rig = MailRig<platform::QtTcpSocket, platform::QtTimer>;
using testsupport::SubmissionServer;

class TestMailIntegration : public QObject {
    Q_OBJECT
    QTemporaryDir received;
    SubmissionServer server;

    // Security, the server, and the password the store holds for anna at its host.
    void Configure(Rig& rig, const QString& security, const QString& setting, const QString& stored = SubmissionServer::kPassword)
    {
        rig.settings.Security = security;
        rig.settings.SMTP = setting;
        rig.settings.User = security == "none" ? "" : SubmissionServer::kUser;
        rig.settings.CaFile = server.CaFile();
        rig.secrets.entries.insert("anna@" + setting.section(':', 0, 0), stored);
    }
    QStringList Delivered() { return QDir(received.path()).entryList({"*.eml"}, QDir::Files, QDir::Name); }
    QByteArray Commands() { return ReadFile(received.filePath("commands.log")); }

private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "America/Sao_Paulo"); // west of UTC, no summer time: a Date sent with the wrong offset is hours off
        tzset();
        QVERIFY(QDateTime::currentDateTime().offsetFromUtc() == -3 * 3600); // else the time zone data is missing
        QVERIFY2(server.Start(received.path()), qPrintable(server.Output()));
    }
    void init()
    {
        for (const QString& name : QDir(received.path()).entryList(QDir::Files))
            QFile::remove(received.filePath(name));
    }

    // The plain session's bytes arrive as sent (the server undoes the dot-stuffing), with the
    // envelope. STARTTLS with AUTH PLAIN, and implicit TLS (the Security word in any case) to a
    // server that offers only AUTH LOGIN, add the Date of now and the Message-ID of a submission.
    void delivery_data()
    {
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("listener");
        QTest::addColumn<QByteArray>("commands");
        QTest::newRow("plain") << "none" << "" << QByteArray("plain MAIL\n");
        QTest::newRow("STARTTLS") << "starttls" << "starttls" << QByteArray("starttls STARTTLS\nstarttls AUTH\nstarttls MAIL\n");
        QTest::newRow("implicit TLS") << "TLS" << "tls" << QByteArray("tls AUTH\ntls MAIL\n");
    }
    void delivery()
    {
        QFETCH(QString, security);
        QFETCH(QString, listener);
        testsupport::LocalSmtpServer plain;
        QVERIFY(!listener.isEmpty() || plain.Start(received.path()));
        Rig rig;
        Configure(rig, security, listener.isEmpty() ? plain.Setting() : server.Setting(listener));
        const auto record = rig.Queue("Saluti", "uno\n.due\n.\ntre", "Ann");
        QVERIFY(rig.SendNext());
        QCOMPARE(rig.lstLog.Lines(), QStringList{Outbox::OkLine(*record)});
        QCOMPARE(Delivered().size(), 1);
        const QString stem = received.filePath(Delivered().first().chopped(4));
        const QByteArray submitted = ReadFile(stem + ".eml");
        QByteArray headers = "Subject:Saluti\r\nFrom:Io <io@example.it>\r\nTo:ann@example.it\r\n", login;
        if (!listener.isEmpty()) {
            const qsizetype date = submitted.indexOf("\r\nDate: ") + 8, end = submitted.indexOf("\r\n", date);
            const QByteArray sent = submitted.mid(date, end - date);
            QVERIFY(qAbs(QDateTime::fromString(QString::fromLatin1(sent), Qt::RFC2822Date).secsTo(QDateTime::currentDateTime())) < 60);
            headers += "Date: " + sent + "\r\nMessage-ID: <" + record->mailUid.toLatin1() + "@example.it>\r\n";
            login = R"(, "login": "anna")";
        }
        QCOMPARE(submitted, headers + "\r\nuno\r\n.due\r\n.\r\ntre\r\n");
        QCOMPARE(ReadFile(stem + ".json"), R"({"mail_from": "io@example.it", "rcpt_tos": ["ann@example.it"])" + login + "}");
        QTEST(Commands(), "commands");
    }

    // Nothing goes to a server that hides a command behind its 220 to STARTTLS, or whose port does
    // not match Security (OpenSSL reads the plain greeting as a TLS record); a handshake that never
    // ends times out. A wrong stored password: the refusal says so and holds the message.
    // replies: a scripted peer's answer to STARTTLS; none: aiosmtpd's STARTTLS port.
    void refused_data()
    {
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QStringList>("lines"); // the first by its start
        const QString e = "ERR - Anna anna@example.it - s t", h = "HELD - Anna anna@example.it - s t", pw = SubmissionServer::kPassword;
        QTest::newRow("reply injected after the 220") << QByteArrayList{"220 go\r\n250 2.0.0 injected\r\n"} << "starttls" << pw
            << QStringList{"ERR - Il server ha mandato altro dopo il suo 220 a STARTTLS: sessione chiusa prima di TLS", e};
        QTest::newRow("stalled handshake") << QByteArrayList{"220 go\r\n"} << "starttls" << pw
                                           << QStringList{"ERR - Nessuna risposta dal server entro 1 secondo", e};
        QTest::newRow("implicit TLS at a STARTTLS port") << QByteArrayList() << "tls" << pw << QStringList{"ERR - Error during SSL "
            "handshake: error:0A00010B:SSL routines::wrong version number. La porta", h};
        QTest::newRow("wrong password") << QByteArrayList() << "starttls" << "sbagliata"
                                        << QStringList{"ERR - Password rifiutata dal server per anna@127.0.0.1: 535 ", h};
    }
    void refused()
    {
        QFETCH(QByteArrayList, replies);
        QFETCH(QString, security);
        QFETCH(QString, stored);
        QFETCH(QStringList, lines);
        testsupport::ScriptedSmtpServer scripted;
        scripted.replies = QByteArrayList{"220 ready\r\n", "250-hi\r\n250 STARTTLS\r\n"} + replies;
        Rig rig;
        Configure(rig, security, replies.isEmpty() ? server.Setting("starttls") : scripted.Address(), stored);
        if (!replies.isEmpty())
            rig.session.SetTimeouts({1000, 1000});
        rig.Queue();
        QVERIFY(rig.SendNext());
        QTest::qWait(200); // anything late would reach the log now
        QCOMPARE(rig.lstLog.LineCount(), 2);
        QVERIFY(rig.lstLog.Line(0).startsWith(lines[0]));
        QCOMPARE(rig.lstLog.Line(1), lines[1]);
        QVERIFY(Delivered().isEmpty());
    }

    // A certificate no CA vouches for: nothing is sent while the question is open; No ends the
    // session and stores nothing; Yes stores the fingerprint for host and port, and the message
    // goes. The trust is for that host and port, and that certificate: the entry itself passes
    // without a question, each other asks again. An entry of an earlier build, the host alone,
    // stands for its default port, here not the listener's.
    void untrustedCertificate_data()
    {
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("trusted");
        QTest::addColumn<int>("answer"); // -1: not asked; 0: No; 1: Yes
        const QString pinned = server.Setting("starttls"), entry = pinned + " " + server.Fingerprint();
        QTest::newRow("none, Yes") << "starttls" << pinned << "" << 1;
        QTest::newRow("the entry itself") << "starttls" << pinned << entry << -1;
        QTest::newRow("another name") << "starttls" << "localhost:" + QString::number(server.Port("starttls")) << entry << 0;
        QTest::newRow("another port") << "tls" << server.Setting("tls") << entry << 0;
        QTest::newRow("another certificate") << "starttls" << pinned << pinned + " 00:11:22:33:44:55:66:77:88:99:AA:BB" << 0;
        QTest::newRow("the host alone") << "starttls" << pinned << "127.0.0.1 " + server.Fingerprint() << 0;
    }
    void untrustedCertificate()
    {
        QFETCH(QString, security);
        QFETCH(QString, setting);
        QFETCH(QString, trusted);
        QFETCH(int, answer);
        Rig rig;
        Configure(rig, security, setting);
        rig.settings.CaFile.clear();
        rig.settings.TrustedCertificate = trusted;
        rig.Queue();
        rig.dispatcher.Timer1_Timer();
        QTRY_VERIFY_WITH_TIMEOUT(rig.dialogs.TrustOpen() || rig.session.SendState() == 0, 20000);
        QCOMPARE(rig.dialogs.TrustOpen(), answer >= 0);
        if (answer >= 0) {
            const QString question = rig.dialogs.shown.last().text;
            QVERIFY(question.contains(setting.section(':', 0, 0)) && question.contains(server.Fingerprint())
                    && question.endsWith("Fidarsi di questo certificato?"));
            rig.dispatcher.Timer1_Timer(); // the question holds the dispatcher
            QCOMPARE(Commands(), security == "tls" ? "" : "starttls STARTTLS\n");
            rig.dialogs.AnswerTrust(answer == 1);
            QTRY_COMPARE_WITH_TIMEOUT(rig.session.SendState(), 0, 20000);
        }
        QCOMPARE(rig.settings.TrustedCertificate, answer == 1 ? server.Setting("starttls") + " " + server.Fingerprint() : trusted);
        QCOMPARE(Delivered().size(), answer == 0 ? 0 : 1);
    }

    // TLS as strict as a careful mail client, against an in-process server: a TLS 1.2 suite
    // without forward secrecy is never agreed, and a certificate whose CN names the host while
    // its subjectAltNames name another (a wildcard does not stand for an address) is a wrong
    // name, asked about like any other fault.
    void strictTls_data()
    {
        QTest::addColumn<QString>("suite"); // the server's only TLS 1.2 suite
        QTest::addColumn<QString>("altNames");
        QTest::addColumn<QString>("outcome");
        const QString ours = "DNS:localhost,IP:127.0.0.1", gcm = "ECDHE-RSA-AES128-GCM-SHA256";
        QTest::newRow("RSA key exchange, GCM") << "AES128-GCM-SHA256" << ours << "error";
        QTest::newRow("ECDHE, CBC") << "ECDHE-RSA-AES128-SHA" << ours << "error";
        QTest::newRow("ECDHE, GCM") << gcm << ours << "encrypted";
        QTest::newRow("CN matches, alt names a wildcard") << gcm << "DNS:*.0.0.1" << "question";
    }
    void strictTls()
    {
        QFETCH(QString, suite);
        QFETCH(QString, altNames);
        QTemporaryDir dir;
        QVERIFY(testsupport::ExternalServer::MakeCertificate(dir.path(), "/CN=127.0.0.1", altNames));
        QSslConfiguration serverTls = QSslConfiguration::defaultConfiguration();
        serverTls.setLocalCertificate(QSslCertificate::fromPath(dir.filePath("cert.pem")).value(0));
        serverTls.setPrivateKey(QSslKey(ReadFile(dir.filePath("key.pem")), QSsl::Rsa));
        serverTls.setProtocol(QSsl::TlsV1_2);
        serverTls.setCiphers(suite);
        QSslServer tlsServer;
        tlsServer.setSslConfiguration(serverTls);
        QVERIFY(tlsServer.listen(QHostAddress::LocalHost));
        platform::QtTcpSocket client;
        QString outcome;
        connect(&client, &platform::ITcpSocket::encrypted, this, [&] { outcome += "encrypted"; });
        connect(&client, &platform::ITcpSocket::errorOccurred, this, [&] { outcome += outcome.isEmpty() ? "error" : ""; });
        connect(&client, &platform::ITcpSocket::sslErrors, this,
                [&](const QString& reasons) { outcome += reasons.contains("host name") ? "question" : reasons; });
        client.ConnectToHost("127.0.0.1", tlsServer.serverPort(), platform::Encryption::Implicit, dir.filePath("cert.pem"));
        QTRY_VERIFY_WITH_TIMEOUT(!outcome.isEmpty(), 20000);
        QTEST(outcome, "outcome");
    }
};

QTEST_GUILESS_MAIN(TestMailIntegration)
#include "test_mail_integration.moc"
