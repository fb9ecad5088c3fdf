#include "FakeTcpSocket.h"
#include "Fakes.h"
#include "app/modMain.h"
#include "mail/Dispatcher.h"

#include <QTemporaryDir>
#include <QTest>

using namespace mail;
using testsupport::FakeClock;
using testsupport::FakeTcpSocket;
using testsupport::FakeTimer;

namespace {
// The real session over a fake socket, so a session can be run to its end by the test.
struct Rig {
    QTemporaryDir dir;
    FakeClock clock;
    FakeTcpSocket ws;
    FakeTimer replyTimer;
    app::ModMain settings;
    MemoryStatusList lstLog;
    Outbox outbox{lstLog};
    SendLog sendLog{dir.path(), clock};
    SmtpSession session{ws, replyTimer, settings, outbox, sendLog, SmtpSession::Timeouts{}};
    Dispatcher dispatcher{outbox, session, settings, clock};

    Rig()
    {
        settings.SMTP = QStringLiteral("127.0.0.1");
        settings.From = QStringLiteral("me@x.it");
        settings.TempoAttesa = 30;
    }

    std::shared_ptr<CMessaggio> Queue(const QString& nick, double secondsAgo)
    {
        auto record = std::make_shared<CMessaggio>();
        record->mailToNick = nick;
        record->mailTo = nick + QStringLiteral("@x.it");
        record->mailText = QStringLiteral("text");
        record->mailFrom = settings.From;
        record->mailTimeCreated = clock.Now() - secondsAgo / platform::kSecondsPerDay;
        outbox.Enqueue(record, kComposerSeparator);
        return record;
    }

    // Plays a server that accepts every step.
    void Deliver()
    {
        for (const char* reply : {"220 ready\r\n", "250 hello\r\n", "250 ok\r\n", "250 ok\r\n", "354 go\r\n",
                                  "250 queued\r\n"})
            ws.Reply(reply);
    }
};
} // namespace

class TestDispatcher : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void dueAfterTempoAttesa_data()
    {
        QTest::addColumn<int>("tempoAttesa");
        QTest::addColumn<double>("age");
        QTest::addColumn<bool>("due");
        QTest::newRow("31 s of 30") << 30 << 31.0 << true;
        QTest::newRow("29 s of 30") << 30 << 29.0 << false;
        QTest::newRow("0, a second old") << 0 << 1.0 << true;
        QTest::newRow("0, just made") << 0 << 0.0 << false;
        QTest::newRow("negative, just made") << -5 << 0.0 << true;
        QTest::newRow("negative, from the future") << -5 << -4.0 << true;
    }
    void dueAfterTempoAttesa()
    {
        QFETCH(int, tempoAttesa);
        QFETCH(double, age);
        QFETCH(bool, due);
        Rig rig;
        rig.settings.TempoAttesa = tempoAttesa;
        auto record = rig.Queue("ann", age);
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.ws.connects, due ? 1 : 0);
        QCOMPARE(rig.outbox.mailQueue().Count(), due ? 0 : 1);
        QCOMPARE(rig.session.SendState(), due ? 1 : 0);
        if (due)
            QCOMPARE(rig.session.currentMail(), record);
    }


    void oneSessionAtATimeInQueueOrder()
    {
        Rig rig;
        auto a = rig.Queue("a", 100);
        rig.clock.AdvanceSeconds(1);
        auto b = rig.Queue("b", 100);
        auto c = rig.Queue("c", 100);
        auto young = rig.Queue("young", 0);

        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.session.currentMail(), a);
        // While a session runs nothing else leaves, however long it has waited.
        for (int i = 0; i < 3; ++i) {
            rig.clock.AdvanceSeconds(1000);
            rig.dispatcher.Timer1_Timer();
        }
        QCOMPARE(rig.ws.connects, 1);
        QCOMPARE(rig.outbox.mailQueue().Count(), 3);

        rig.Deliver();
        QCOMPARE(rig.session.SendState(), 0);
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.session.currentMail(), b);
        QCOMPARE(rig.outbox.mailQueue().Count(), 2);
        rig.Deliver();
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.session.currentMail(), c);
        rig.Deliver();
        QCOMPARE(rig.ws.connects, 3);
        QCOMPARE(rig.lstLog.Lines().mid(0, 3),
                 QStringList({Outbox::OkLine(*a), Outbox::OkLine(*b), Outbox::OkLine(*c)}));
        QCOMPARE(rig.outbox.mailQueue().Value(0).ObjectAs<CMessaggio>(), young);
    }

    void aFailedSessionLetsTheNextOneGo()
    {
        Rig rig;
        auto a = rig.Queue("a", 100);
        auto b = rig.Queue("b", 100);
        rig.dispatcher.Timer1_Timer();
        rig.ws.Fail(QStringLiteral("Connection refused"));
        QCOMPARE(rig.session.SendState(), 0);
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.session.currentMail(), b);
        rig.Deliver();
        // The ERR line moved b's line down; its OK replaced its own queued line.
        QCOMPARE(rig.lstLog.Lines(), QStringList({"ERR - Connection refused", Outbox::QueuedLine(*a, kComposerSeparator),
                                                  Outbox::OkLine(*b)}));
    }

    void nothingLeavesWhileTheExitQuestionIsOpen()
    {
        Rig rig;
        rig.Queue("a", 100);
        rig.dispatcher.exitPending = true;
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.ws.connects, 0);
        rig.dispatcher.exitPending = false; // the user stayed
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.ws.connects, 1);
    }

    void aChangedWaitingTimeAppliesAtOnce()
    {
        Rig rig;
        rig.settings.TempoAttesa = 3600;
        rig.Queue("a", 100);
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.ws.connects, 0);
        rig.settings.TempoAttesa = 60;
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.ws.connects, 1);
    }
};

QTEST_GUILESS_MAIN(TestDispatcher)
#include "test_dispatcher.moc"
