// Misbehaving peers on 127.0.0.1 against the real socket and HTTP client: each ends in its
// own outcome, and the next message or page still goes to a well-behaved peer.
#include "../mail/MailRig.h"
#include "HostilePeers.h"
#include "ScriptedSmtpServer.h"
#include "platform/QtHttpClient.h"
#include "platform/QtTcpSocket.h"

#include <QtTest>

using namespace testsupport;
using platform::QtHttpClient;

class TestHostile : public QObject {
    Q_OBJECT
private slots:
    void smtpPeers_data()
    {
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("1 MB without a line end") << QByteArrayList{QByteArray(1 << 20, 'x')}
                                                  << "ERR - Il server ha mandato una risposta più lunga di 65536 byte";
        QTest::newRow("non-numeric code") << QByteArrayList{"2x0 hi\r\n"} << "2x0 hi\r\n";
        // Taken as the answer to HELO, it would have put every later reply one step off.
        QTest::newRow("unasked reply with the greeting")
            << QByteArrayList{"220 hi\r\n250 early\r\n"}
            << "ERR - Il server ha risposto prima della domanda: 250 early";
        QTest::newRow("data after QUIT")
            << (ScriptedSmtpServer::GoodReplies() << "221 bye\r\n250 more\r\n" + QByteArray(200000, 'y'))
            << "OK - Anna anna@example.it - s: t";
    }
    void smtpPeers()
    {
        QFETCH(QByteArrayList, replies);
        QFETCH(QString, outcome);
        ScriptedSmtpServer server;
        MailRig<platform::QtTcpSocket, platform::QtTimer> rig;
        rig.settings.SMTP = server.Address();
        for (const QByteArrayList& script : {replies, ScriptedSmtpServer::GoodReplies()}) {
            server.replies = script;
            QVERIFY(rig.outbox.ClearLog());
            rig.Queue();
            rig.dispatcher.Timer1_Timer();
            QTRY_COMPARE_WITH_TIMEOUT(rig.session.SendState(), 0, 20000);
            QCOMPARE(rig.lstLog.Lines().filter(QRegularExpression("^(?!(QUEUED|ERR) - Anna )")).value(0),
                     std::exchange(outcome, "OK - Anna anna@example.it - s: t"));
        }
    }

    void httpServers_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<QString>("page"); // empty: the request failed
        QTest::newRow("one byte a second") << QByteArray(20, 'x') << QString();
        QTest::newRow("closes mid-body")
            << "HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n" + QByteArray(20000, 'x') << QString();
        QTest::newRow("says UTF-8, sends ISO-8859-1")
            << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\nCitt\xe0 di")
            << "Citt\uFFFD di";
    }
    void httpServers()
    {
        QFETCH(QByteArray, response);
        QFETCH(QString, page);
        int requests = 0; // the first gets the row's response, the next a good page
        ScriptedPeer peer({}, AnswerHttp([&](QTcpSocket& s) {
            // The head at once, then the body a byte a second: no idle time-out would end it.
            if (requests++ == 0 && QByteArray(QTest::currentDataTag()).startsWith("one byte")) {
                s.write("HTTP/1.0 200 OK\r\n\r\n");
                return Trickle(s, response);
            }
            s.write(requests == 1 ? response : "HTTP/1.0 200 OK\r\n\r\nnext page");
            s.disconnectFromHost();
        }));
        QtHttpClient client(1500);
        QSignalSpy states(&client, &platform::IHttpClient::stateChanged);
        for (const QString& body : {page, QString("next page")}) {
            client.StartRequest(peer.HostPort(), "page.html");
            QTRY_VERIFY_WITH_TIMEOUT(!client.IsExecuting(), 20000);
            QCOMPARE(states.last()[0].toInt(),
                     body.isEmpty() ? QtHttpClient::kStateError : QtHttpClient::kStateResponseCompleted);
            QCOMPARE(client.ReadBody(1000), body);
        }
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "test_hostile.moc"
