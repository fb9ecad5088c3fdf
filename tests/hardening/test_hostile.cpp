// Misbehaving peers on 127.0.0.1 against the real socket and HTTP client: each ends in its
// own outcome, and the next message or page still goes to a well-behaved peer.
#include "Fakes.h"
#include "HostilePeers.h"
#include "app/modMain.h"
#include "mail/Outbox.h"
#include "mail/SendLog.h"
#include "mail/SmtpSession.h"
#include "news/NewsFetcher.h"
#include "platform/QtHttpClient.h"
#include "platform/QtTcpSocket.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

class TestHostile : public QObject {
    Q_OBJECT
    QTemporaryDir m_dir;
    FakeClock m_clock;
    platform::QtTcpSocket m_ws;
    platform::QtTimer m_replyTimer;
    app::ModMain m_settings;
    mail::MemoryStatusList m_lstLog;
    mail::Outbox m_outbox{m_lstLog};
    mail::SendLog m_sendLog{m_dir.path(), m_clock};
    mail::SmtpSession m_session{m_ws, m_replyTimer, m_settings, m_outbox, m_sendLog, {5000, 5000}};

    // One message to the peer; its outcome line.
    QString Send(const ScriptedPeer& peer)
    {
        m_settings.SMTP = peer.HostPort();
        m_settings.From = QStringLiteral("me@example.org");
        m_lstLog.Clear();
        auto record = std::make_shared<mail::CMessaggio>();
        record->mailTo = QStringLiteral("you@example.org");
        record->mailToNick = QStringLiteral("You");
        record->mailText = QStringLiteral("a domani");
        m_outbox.Enqueue(record, mail::kComposerSeparator);
        m_outbox.mailQueue().Remove(0);
        m_session.StartSending(record);
        if (!QTest::qWaitFor([this] { return m_session.SendState() == 0; }, 20000))
            return QStringLiteral("(did not end)");
        for (const QString& line : m_lstLog.Lines())
            if (!line.startsWith(QLatin1String("QUEUED - ")))
                return line;
        return {};
    }

private slots:
    void smtpPeers_data()
    {
        QTest::addColumn<QByteArray>("greeting");
        QTest::addColumn<QByteArray>("afterQuit");
        QTest::addColumn<QString>("outcome");
        QTest::newRow("1 MB without a line end") << QByteArray(1024 * 1024, 'x') << QByteArray()
                                                  << "ERR - The server sent a reply longer than 65536 bytes";
        QTest::newRow("junk before the greeting") << QByteArray("* not SMTP\r\n220 hi\r\n") << QByteArray()
                                                   << "* not SMTP\r\n";
        // Taken as the answer to HELO, it would have put every later reply one step off.
        QTest::newRow("unasked reply with the greeting")
            << QByteArray("220 hi\r\n250 nobody asked\r\n") << QByteArray()
            << "ERR - The server replied before it was asked: 250 nobody asked";
        QTest::newRow("data after QUIT") << QByteArray("220 hi\r\n") << "250 more\r\n" + QByteArray(200000, 'y')
                                         << "OK - You you@example.org - : a domani";
    }
    void smtpPeers()
    {
        QFETCH(QByteArray, greeting);
        QFETCH(QByteArray, afterQuit);
        QFETCH(QString, outcome);
        SmtpScript hostile;
        hostile.greeting = greeting;
        hostile.afterQuit = afterQuit;
        ScriptedPeer peer(hostile.OnConnect(), hostile.OnData());
        QCOMPARE(Send(peer), outcome);

        SmtpScript good;
        ScriptedPeer next(good.OnConnect(), good.OnData());
        QCOMPARE(Send(next), QStringLiteral("OK - You you@example.org - : a domani"));
        QCOMPARE(good.messages.size(), 1);
    }

    void httpServers_data()
    {
        QTest::addColumn<QByteArray>("response");
        QTest::addColumn<bool>("trickle");
        QTest::addColumn<QString>("page"); // empty: the request failed
        const QByteArray ok = "HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=";
        QTest::newRow("one byte a second") << ok + "UTF-8\r\n\r\n<html><body>x</body></html>" << true << QString();
        QTest::newRow("closes mid-body")
            << "HTTP/1.1 200 OK\r\nContent-Length: 50000\r\n\r\n<html><body>" + QByteArray(20000, 'x') << false
            << QString();
        QTest::newRow("says UTF-8, sends ISO-8859-1") << ok + "UTF-8\r\n\r\nCitt\xe0 di" << false << "Citt\uFFFD di";
        QTest::newRow("says ISO-8859-1, sends UTF-8") << ok + "ISO-8859-1\r\n\r\nCitt\xc3\xa0 di" << false
                                                      << "Citt\u00c3\u00a0 di";
    }
    void httpServers()
    {
        QFETCH(QByteArray, response);
        QFETCH(bool, trickle);
        QFETCH(QString, page);
        platform::QtHttpClient client(1500);
        QList<int> states;
        connect(&client, &platform::IHttpClient::stateChanged, this, [&states](int s) { states.append(s); });
        ScriptedPeer peer({}, AnswerHttp([&](QTcpSocket& s) {
            if (trickle)
                return Trickle(s, response);
            s.write(response);
            s.disconnectFromHost();
        }));
        client.StartRequest(peer.HostPort(), QStringLiteral("page.html"));
        QTRY_VERIFY_WITH_TIMEOUT(!client.IsExecuting(), 20000);
        QCOMPARE(states.last(), page.isEmpty() ? platform::QtHttpClient::kStateError
                                               : platform::QtHttpClient::kStateResponseCompleted);
        QCOMPARE(client.ReadBody(news::kMaxPageLength), page);

        ScriptedPeer good({}, AnswerHttp([](QTcpSocket& s) {
            s.write("HTTP/1.0 200 OK\r\n\r\nnext page");
            s.disconnectFromHost();
        }));
        client.StartRequest(good.HostPort(), QString());
        QTRY_VERIFY_WITH_TIMEOUT(!client.IsExecuting(), 20000);
        QCOMPARE(client.ReadBody(news::kMaxPageLength), QStringLiteral("next page"));
    }
};

QTEST_GUILESS_MAIN(TestHostile)
#include "test_hostile.moc"
