#include "mail/Outbox.h"

#include <QTest>

using namespace mail;
using containers::CArray;

namespace {
std::shared_ptr<CMessaggio> Record(const QString& nick, const QString& to, const QString& subject,
                                   const QString& text)
{
    auto record = std::make_shared<CMessaggio>();
    record->mailToNick = nick;
    record->mailTo = to;
    record->mailSubject = subject;
    record->mailText = text;
    record->mailFrom = QStringLiteral("me@example.org");
    return record;
}

// What the dispatcher does when a session starts: in flight, off the queue.
void Take(Outbox& outbox, const std::shared_ptr<CMessaggio>& record)
{
    outbox.SetInFlight(record);
    CArray& queue = outbox.mailQueue();
    for (qint32 i = 0; i <= queue.UpperBound(); ++i)
        if (queue.Value(i).ObjectAs<CMessaggio>() == record) {
            queue.Remove(i);
            return;
        }
}
} // namespace

class TestOutbox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void lineFormats_data()
    {
        QTest::addColumn<QString>("nick");
        QTest::addColumn<QString>("subject");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("separator");
        QTest::addColumn<QString>("queued");
        QTest::addColumn<QString>("ok");

        const QString text100 = QString(100, QLatin1Char('t'));
        QTest::newRow("composer") << "Ann" << "Hi" << "see you" << kComposerSeparator
                                  << "QUEUED - Ann ann@x.it - Hi see you" << "OK - Ann ann@x.it - Hi: see you";
        QTest::newRow("news") << "Ann" << "Hi" << "see you" << kNewsSeparator
                              << "QUEUED - Ann ann@x.it - Hi: see you" << "OK - Ann ann@x.it - Hi: see you";
        QTest::newRow("empty nickname") << "" << "" << "x" << kComposerSeparator
                                        << "QUEUED -  ann@x.it -  x" << "OK -  ann@x.it - : x";
        QTest::newRow("50 characters, composer")
            << "N" << "0123456789" << text100 << kComposerSeparator
            << "QUEUED - N ann@x.it - 0123456789 " + text100.left(39)
            << "OK - N ann@x.it - 0123456789: " + text100.left(38);
        QTest::newRow("50 characters, news")
            << "N" << "0123456789" << text100 << kNewsSeparator
            << "QUEUED - N ann@x.it - 0123456789: " + text100.left(38)
            << "OK - N ann@x.it - 0123456789: " + text100.left(38);
        // A character outside the basic plane is never cut in half at the 50th unit.
        const QString emoji = QString::fromUtf8("\xF0\x9F\x98\x80");
        QTest::newRow("surrogate pair at the cut")
            << "N" << QString(48, QLatin1Char('s')) << emoji + "z" << kComposerSeparator
            << "QUEUED - N ann@x.it - " + QString(48, QLatin1Char('s')) + " "
            << "OK - N ann@x.it - " + QString(48, QLatin1Char('s')) + ": ";
    }
    void lineFormats()
    {
        QFETCH(QString, nick);
        QFETCH(QString, subject);
        QFETCH(QString, text);
        QFETCH(QString, separator);
        auto record = Record(nick, QStringLiteral("ann@x.it"), subject, text);
        QFETCH(QString, queued);
        QCOMPARE(Outbox::QueuedLine(*record, separator), queued);
        QFETCH(QString, ok);
        QCOMPARE(Outbox::OkLine(*record), ok);
    }

    void enqueueNumbersLinesAfterWhatIsShown()
    {
        MemoryStatusList lstLog;
        Outbox outbox(lstLog);
        auto a = Record("A", "a@x.it", "s", "t");
        auto b = Record("B", "b@x.it", "s", "t");
        outbox.Enqueue(a, kComposerSeparator);
        outbox.Enqueue(b, kComposerSeparator);
        QCOMPARE(a->mailID, 0);
        QCOMPARE(b->mailID, 1);
        QCOMPARE(outbox.mailQueue().Count(), 2);
        QCOMPARE(outbox.mailQueue().Value(1).ObjectAs<CMessaggio>(), b);

        // A refusal appended at the end raises the index the next record receives.
        outbox.ReportRefusal(QStringLiteral("550 no such user\r\n"));
        QCOMPARE(lstLog.Line(2), QStringLiteral("550 no such user\r\n"));
        auto c = Record("C", "c@x.it", "s", "t");
        outbox.Enqueue(c, kNewsSeparator);
        QCOMPARE(c->mailID, 3);
        QCOMPARE(lstLog.Line(3), QStringLiteral("QUEUED - C c@x.it - s: t"));
    }

    void errLineMovesRecordedLinesAlong()
    {
        MemoryStatusList lstLog;
        Outbox outbox(lstLog);
        auto a = Record("A", "a@x.it", "s", "t");
        auto b = Record("B", "b@x.it", "s", "t");
        outbox.Enqueue(a, kComposerSeparator);
        outbox.Enqueue(b, kComposerSeparator);
        Take(outbox, a);
        outbox.ReportError(QStringLiteral("Connection refused"));
        outbox.ReportError(QStringLiteral("Host not found"));

        QCOMPARE(lstLog.Line(0), QStringLiteral("ERR - Host not found"));
        QCOMPARE(lstLog.Line(1), QStringLiteral("ERR - Connection refused"));
        outbox.ReportDelivered(*a);
        QCOMPARE(lstLog.Line(2), Outbox::OkLine(*a));
        Take(outbox, b);
        outbox.ReportDelivered(*b);
        QCOMPARE(lstLog.Lines(),
                 QStringList({"ERR - Host not found", "ERR - Connection refused", Outbox::OkLine(*a),
                              Outbox::OkLine(*b)}));
    }

    void clearedListDuringSessionAppendsTheOkLine()
    {
        MemoryStatusList lstLog;
        Outbox outbox(lstLog);
        auto a = Record("A", "a@x.it", "s", "t");
        outbox.Enqueue(a, kComposerSeparator);
        QVERIFY(!outbox.ClearLog()); // a still waits
        QCOMPARE(lstLog.LineCount(), 1);

        Take(outbox, a);
        QVERIFY(outbox.ClearLog());
        QCOMPARE(lstLog.LineCount(), 0);
        // A newer record now owns line 0: a's OK must not overwrite it.
        auto b = Record("B", "b@x.it", "s", "t");
        outbox.Enqueue(b, kComposerSeparator);
        QCOMPARE(b->mailID, 0);
        outbox.ReportError(QStringLiteral("boom")); // moves b, not the cleared a
        outbox.ReportDelivered(*a);
        QCOMPARE(lstLog.Lines(),
                 QStringList({"ERR - boom", Outbox::QueuedLine(*b, kComposerSeparator), Outbox::OkLine(*a)}));
    }
};

QTEST_GUILESS_MAIN(TestOutbox)
#include "test_outbox.moc"
