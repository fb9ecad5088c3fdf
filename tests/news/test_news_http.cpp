#include "ExternalServer.h"
#include "Fakes.h"
#include "LocalSmtpServer.h"
#include "NewsFixtures.h"
#include "app/modMain.h"
#include "mail/CMessaggio.h"
#include "mail/Dispatcher.h"
#include "mail/Outbox.h"
#include "mail/SendLog.h"
#include "news/NewsFetcher.h"
#include "platform/QtHttpClient.h"
#include "platform/QtTcpSocket.h"

#include <QDir>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTcpSocket>
#include <QtTest>

using testsupport::ExternalServer;
using testsupport::FakeClock;
using testsupport::NewsFixtureDir;

namespace {

// An in-process HTTP server on 127.0.0.1 for the faults a real one does not make: it reads
// the request and then stays silent, answers with fixed bytes, or sends a body that never
// ends (bounded, so a client that does not stop cannot keep the test running).
class ScriptedHttpServer : public QObject {
public:
    enum class Mode { Silent, Fixed, Endless };
    static constexpr qint64 kEndlessCap = 64 * 1024 * 1024;

    explicit ScriptedHttpServer(Mode mode, QByteArray response = {}) : m_mode(mode), m_response(std::move(response))
    {
        QObject::connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* socket = m_server.nextPendingConnection()) {
                socket->setParent(this);
                QObject::connect(socket, &QTcpSocket::readyRead, this, [this, socket] { OnRequest(socket); });
            }
        });
        m_server.listen(QHostAddress::LocalHost);
    }
    QString Host() const { return QStringLiteral("127.0.0.1:%1").arg(m_server.serverPort()); }
    int requests = 0;
    qint64 sent = 0;

private:
    void OnRequest(QTcpSocket* socket)
    {
        QByteArray& request = m_requests[socket];
        request += socket->readAll();
        if (!request.contains("\r\n\r\n") || socket->property("answered").toBool())
            return;
        socket->setProperty("answered", true);
        ++requests;
        if (m_mode == Mode::Fixed) {
            socket->write(m_response);
            socket->disconnectFromHost();
        } else if (m_mode == Mode::Endless) {
            socket->write("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n<html><body>");
            QObject::connect(socket, &QTcpSocket::bytesWritten, this, [this, socket](qint64 n) {
                sent += n;
                if (sent < kEndlessCap && socket->bytesToWrite() < 64 * 1024)
                    socket->write(QByteArray(16 * 1024, 'x'));
            });
        }
    }

    QTcpServer m_server;
    Mode m_mode;
    QByteArray m_response;
    QHash<QTcpSocket*, QByteArray> m_requests;
};

bool StartFileServer(ExternalServer& server, const QString& dir)
{
    return server.Start({QStringLiteral("-m"), QStringLiteral("http.server"), QStringLiteral("0"),
                         QStringLiteral("--bind"), QStringLiteral("127.0.0.1"), QStringLiteral("--directory"), dir},
                        QRegularExpression(QStringLiteral("Serving HTTP on 127\\.0\\.0\\.1 port (\\d+)")));
}

QString HostOf(const ExternalServer& server)
{
    return QStringLiteral("127.0.0.1:%1").arg(server.Port());
}

// The news part of the main window over the real HTTP client.
struct Rig {
    explicit Rig(int timeoutMs = platform::QtHttpClient::kDefaultTimeoutMs)
        : inet1(timeoutMs), outbox(lstLog),
          digest(outbox, settings, clock, [] { return QStringLiteral("Brevilo news"); }, [](const QString&) {}),
          fetcher(inet1, settings, clock, digest)
    {
        QObject::connect(&inet1, &platform::IHttpClient::stateChanged,
                         [this](int state) { fetcher.Inet1_StateChanged(state); });
        settings.From = QStringLiteral("news@example.org");
        settings.NewsDest = {QStringLiteral("one@example.org"), QString(), QString()};
    }

    // One tick, and the end of the request it started.
    bool TickAndWait()
    {
        clock.AdvanceSeconds(3);
        fetcher.Timer2_Timer();
        if (!inet1.IsExecuting())
            return false;
        QSignalSpy ended(&inet1, &platform::IHttpClient::stateChanged);
        return ended.wait(20000) && !inet1.IsExecuting();
    }

    QStringList QueuedTexts() const
    {
        QStringList texts;
        for (int i = 0; i < outbox.mailQueue().Count(); ++i) {
            const auto record = outbox.mailQueue().Value(i).ObjectAs<mail::CMessaggio>();
            texts << record->mailSubject + QStringLiteral(": ") + record->mailText;
        }
        return texts;
    }

    platform::QtHttpClient inet1;
    mail::MemoryStatusList lstLog;
    mail::Outbox outbox;
    app::ModMain settings;
    FakeClock clock;
    news::NewsDigest digest;
    news::NewsFetcher fetcher;
};

} // namespace

class TestNewsHttp : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void fromTickToQueue();
    void onToTheSmtpServer();
    void silentServerTimesOut();
    void endlessBodyCut();
    void responses_data();
    void responses();
    void unreachableHost();

private:
    ExternalServer m_volley, m_news, m_football;
};

void TestNewsHttp::initTestCase()
{
    QVERIFY2(StartFileServer(m_volley, NewsFixtureDir() + QStringLiteral("/volley")), qPrintable(m_volley.Output()));
    QVERIFY2(StartFileServer(m_news, NewsFixtureDir() + QStringLiteral("/news")), qPrintable(m_news.Output()));
    QVERIFY2(StartFileServer(m_football, NewsFixtureDir() + QStringLiteral("/football")),
             qPrintable(m_football.Output()));
}

void TestNewsHttp::fromTickToQueue()
{
    Rig rig;
    // As the store keys News/VolleyHost, News/NewsHost and News/FootballHost would set them.
    rig.settings.VolleyHost = HostOf(m_volley);
    rig.settings.NewsHost = HostOf(m_news);
    rig.settings.FootballHost = HostOf(m_football);
    rig.settings.PallavoloA1_finali = rig.settings.Notizie = rig.settings.SerieA = rig.settings.SerieB = true;
    rig.settings.TuttiGol = true;

    for (int i = 0; i < 4; ++i)
        QVERIFY(rig.TickAndWait());
    QCOMPARE(rig.QueuedTexts(),
             (QStringList{"Volley: Beta - Delta 3-1 --- Zeta - Theta <font color=\"red\">2-3 ---  - Upsilon 0-3",
                          "News: Il ponte riapre domani dopo i lavori",
                          "Calcio: Aquile-Lupi 2-1 Rossi 12' Bianchi 80'  Verdi 45' --- Falchi-Orsi --- Volpi-Tassi 0-0",
                          "Calcio: Cervi-Daini 1-3 Neri 3' Gialli 10'Gialli 55'Viola 90'"}));
    QCOMPARE(rig.lstLog.LineCount(), 4);
    QCOMPARE(rig.lstLog.Line(1),
             QStringLiteral("QUEUED - one@example.org one@example.org - News: Il ponte riapre domani dopo i lavori"));

    // The pages again after their minimum times: nothing new, nothing queued.
    rig.clock.AdvanceSeconds(600);
    for (int i = 0; i < 4; ++i)
        QVERIFY(rig.TickAndWait());
    QCOMPARE(rig.outbox.mailQueue().Count(), 4);
}

void TestNewsHttp::onToTheSmtpServer()
{
    QTemporaryDir received, data;
    testsupport::LocalSmtpServer smtp;
    QVERIFY2(smtp.Start(received.path()), qPrintable(smtp.Output()));

    Rig rig;
    rig.settings.SMTP = smtp.Setting();
    rig.settings.TempoAttesa = 30;
    rig.settings.NewsDest = {QStringLiteral("one@example.org"), QStringLiteral("  "), QStringLiteral("two@example.org")};
    rig.settings.NewsHost = HostOf(m_news);
    rig.settings.FootballHost = HostOf(m_football);
    rig.settings.Notizie = rig.settings.SerieB = true;
    QVERIFY(rig.TickAndWait());
    QVERIFY(rig.TickAndWait());
    QCOMPARE(rig.outbox.mailQueue().Count(), 4);

    // The records take the road of every message: the dispatcher, the session, the server.
    platform::QtTcpSocket ws;
    platform::QtTimer replyTimer;
    mail::SendLog sendLog(data.path(), rig.clock);
    mail::SmtpSession session(ws, replyTimer, rig.settings, rig.outbox, sendLog, mail::SmtpSession::Timeouts{});
    mail::Dispatcher dispatcher(rig.outbox, session, rig.settings, rig.clock);
    rig.clock.AdvanceSeconds(31);
    for (int i = 0; i < 4; ++i) {
        dispatcher.Timer1_Timer();
        QCOMPARE(session.SendState(), 1);
        QTRY_COMPARE_WITH_TIMEOUT(session.SendState(), 0, 30000);
    }
    QCOMPARE(rig.outbox.mailQueue().Count(), 0);

    const QStringList files = QDir(received.path()).entryList({QStringLiteral("*.eml")}, QDir::Files, QDir::Name);
    QCOMPARE(files.size(), 4);
    auto read = [&](int i) {
        QFile f(received.filePath(files[i]));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    QCOMPARE(read(0), QByteArray("Subject:News\r\nFrom:Brevilo news <news@example.org>\r\nTo:one@example.org\r\n\r\n"
                                 "Il ponte riapre domani dopo i lavori\r\n"));
    QCOMPARE(read(3), QByteArray("Subject:Calcio\r\nFrom:Brevilo news <news@example.org>\r\nTo:two@example.org\r\n\r\n"
                                 "Cervi-Daini 1-3\r\n"));
    for (int i = 0; i < 4; ++i)
        QVERIFY2(rig.lstLog.Line(i).startsWith(QLatin1String("OK - ")), qPrintable(rig.lstLog.Line(i)));
}

void TestNewsHttp::silentServerTimesOut()
{
    ScriptedHttpServer silent(ScriptedHttpServer::Mode::Silent);
    Rig rig(300);
    rig.settings.VolleyHost = silent.Host();
    rig.settings.NewsHost = HostOf(m_news);
    rig.settings.PallavoloA1_finali = rig.settings.Notizie = true;

    QVERIFY(rig.TickAndWait()); // ends by the client's own time-out
    QCOMPARE(silent.requests, 1);
    QCOMPARE(rig.inet1.ReadBody(100000), QString());
    QCOMPARE(rig.outbox.mailQueue().Count(), 0);

    // The news goes on: the next page is fetched and queued.
    QVERIFY(rig.TickAndWait());
    QCOMPARE(rig.QueuedTexts(), QStringList{"News: Il ponte riapre domani dopo i lavori"});
    // The failed page is asked again only after its minimum time.
    rig.fetcher.Timer2_Timer();
    QVERIFY(!rig.inet1.IsExecuting());
}

void TestNewsHttp::endlessBodyCut()
{
    ScriptedHttpServer endless(ScriptedHttpServer::Mode::Endless);
    platform::QtHttpClient inet1(20000);
    QSignalSpy ended(&inet1, &platform::IHttpClient::stateChanged);
    inet1.StartRequest(endless.Host(), QString());
    QVERIFY(ended.wait(20000));
    QCOMPARE(ended.size(), 1);
    QCOMPARE(ended.at(0).at(0).toInt(), platform::QtHttpClient::kStateResponseCompleted);
    QVERIFY(endless.sent < ScriptedHttpServer::kEndlessCap);
    const QString page = inet1.ReadBody(100000);
    QCOMPARE(page.size(), 100000);
    QVERIFY(page.startsWith(QLatin1String("<html><body>xxx")));
    QVERIFY(inet1.ReadBody(100000).size() <= platform::QtHttpClient::kDefaultBodyLimit - 100000);

    // And the fetcher with it: the cut page has no complete body, nothing is queued, and the
    // next page comes through.
    Rig rig;
    rig.settings.FootballHost = endless.Host();
    rig.settings.NewsHost = HostOf(m_news);
    rig.settings.SerieA = rig.settings.Notizie = true;
    QVERIFY(rig.TickAndWait());
    QVERIFY(rig.TickAndWait());
    QCOMPARE(rig.QueuedTexts(), QStringList{"News: Il ponte riapre domani dopo i lavori"});
}

void TestNewsHttp::responses_data()
{
    QTest::addColumn<QByteArray>("response");
    QTest::addColumn<QString>("body");

    const QByteArray citta = QStringLiteral("Citt\u00e0").toUtf8();
    QTest::newRow("declared UTF-8") << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=UTF-8\r\n\r\n" +
                                                  citta)
                                    << QStringLiteral("Citt\u00e0");
    QTest::newRow("quoted charset") << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html;charset=\"utf-8\"\r\n\r\n" +
                                                  citta)
                                    << QStringLiteral("Citt\u00e0");
    QTest::newRow("no charset: ISO-8859-1") << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\nCitt\xe0")
                                            << QStringLiteral("Citt\u00e0");
    QTest::newRow("unknown charset: ISO-8859-1")
        << QByteArray("HTTP/1.0 200 OK\r\nContent-Type: text/html; charset=x-unheard-of\r\n\r\nCitt\xe0")
        << QStringLiteral("Citt\u00e0");
    QTest::newRow("error status keeps its body")
        << QByteArray("HTTP/1.0 404 Not Found\r\nContent-Type: text/html\r\n\r\n<body>assente</body>")
        << QStringLiteral("<body>assente</body>");
    QTest::newRow("connection closed before any reply") << QByteArray() << QString();
}

void TestNewsHttp::responses()
{
    QFETCH(QByteArray, response);
    QFETCH(QString, body);
    ScriptedHttpServer server(ScriptedHttpServer::Mode::Fixed, response);
    platform::QtHttpClient inet1(20000);
    QSignalSpy ended(&inet1, &platform::IHttpClient::stateChanged);
    inet1.StartRequest(server.Host(), QStringLiteral("RisultatiOnLine.asp?Serie=1"));
    QVERIFY(inet1.IsExecuting());
    QCOMPARE(inet1.RequestHost(), server.Host());
    QVERIFY(ended.wait(20000));
    QVERIFY(!inet1.IsExecuting());
    QCOMPARE(inet1.ReadBody(100000), body);
    QCOMPARE(inet1.ReadBody(100000), QString());
}

void TestNewsHttp::unreachableHost()
{
    // A port nobody listens on: the request fails, and is ended and reported all the same.
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost));
    const QString host = QStringLiteral("127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    platform::QtHttpClient inet1(20000);
    QSignalSpy ended(&inet1, &platform::IHttpClient::stateChanged);
    inet1.StartRequest(host, QString());
    QVERIFY(ended.wait(20000));
    QCOMPARE(ended.at(0).at(0).toInt(), platform::QtHttpClient::kStateError);
    QCOMPARE(inet1.ReadBody(100000), QString());
}

QTEST_GUILESS_MAIN(TestNewsHttp)
#include "test_news_http.moc"
