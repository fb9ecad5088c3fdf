#include "Fakes.h"
#include "app/modMain.h"
#include "mail/CMessaggio.h"
#include "mail/Outbox.h"
#include "news/NewsDigest.h"

#include <QtTest>

using testsupport::FakeClock;

namespace {

// A digest with its outbox, status list and recorded captions.
struct Rig {
    Rig()
        : outbox(lstLog),
          digest(outbox, settings, clock, [this] { return senderName; },
                 [this](const QString& caption) {
                     captions << caption;
                     queuedAtCaption << outbox.mailQueue().Count();
                 })
    {
        settings.From = QStringLiteral("me@example.org");
    }

    // One page's worth of offers, as the completion handler runs them.
    QString Page(const QStringList& lines, const QString& subject = QStringLiteral("Calcio"))
    {
        digest.newsSubject = QStringLiteral("News");
        digest.newsText.clear();
        for (const QString& line : lines)
            digest.OfferResult(line, subject);
        return digest.newsText;
    }

    std::shared_ptr<mail::CMessaggio> Queued(int i) const
    {
        return outbox.mailQueue().Value(i).ObjectAs<mail::CMessaggio>();
    }

    mail::MemoryStatusList lstLog;
    mail::Outbox outbox;
    app::ModMain settings;
    FakeClock clock;
    QString senderName = QStringLiteral("Io");
    QStringList captions;
    QList<int> queuedAtCaption;
    news::NewsDigest digest;
};

QString Item(QChar c, int length)
{
    return QString(length, c);
}

} // namespace

class TestNewsDigest : public QObject {
    Q_OBJECT
private slots:
    void lengthRule();
    void longFirstLineTakenWhole();
    void droppedLineOfferedAgain();
    void seenList();
    void headline();
    void recipients_data();
    void recipients();
    void threeRecipients();
    void noRecipientStillRecorded();
};

void TestNewsDigest::lengthRule()
{
    Rig rig;
    const QString a = Item(QLatin1Char('a'), 70), b = Item(QLatin1Char('b'), 70), c = Item(QLatin1Char('c'), 30);
    QCOMPARE(rig.Page({a, b, c}), a + " --- " + c);
    QCOMPARE(rig.digest.newsText.size(), 105);
    QCOMPARE(rig.digest.newsSubject, QStringLiteral("Calcio"));

    // Exactly 140 joins, 141 does not.
    Rig edge;
    const QString first = Item(QLatin1Char('x'), 100);
    QCOMPARE(edge.Page({first, Item(QLatin1Char('y'), 35), Item(QLatin1Char('z'), 1)}),
             first + " --- " + Item(QLatin1Char('y'), 35));
    Rig over;
    QCOMPARE(over.Page({first, Item(QLatin1Char('y'), 36)}), first);
}

void TestNewsDigest::longFirstLineTakenWhole()
{
    Rig rig;
    const QString line = Item(QLatin1Char('L'), 150);
    QCOMPARE(rig.Page({line, QStringLiteral("short")}), line);
}

void TestNewsDigest::droppedLineOfferedAgain()
{
    Rig rig;
    const QString a = Item(QLatin1Char('a'), 70), b = Item(QLatin1Char('b'), 70), c = Item(QLatin1Char('c'), 30);
    rig.Page({a, b, c});
    QCOMPARE(rig.digest.newsSeen.Count(), 2);
    QVERIFY(!rig.digest.IsSeen(b));
    // The next fetch of the same page: only the line dropped for length is new.
    QCOMPARE(rig.Page({a, b, c}), b);
    QCOMPARE(rig.digest.newsSeen.Count(), 3);
    QCOMPARE(rig.digest.newsSeen.Find(containers::Variant(b)), 2);
    QCOMPARE(rig.Page({a, b, c}), QString());
}

void TestNewsDigest::seenList()
{
    Rig rig;
    QCOMPARE(rig.Page({QStringLiteral("Uno"), QStringLiteral("Uno"), QStringLiteral("Due")}),
             QStringLiteral("Uno --- Due"));
    QCOMPARE(rig.digest.newsSeen.Count(), 2);
    // Subject stays the page's start value when nothing new came.
    QCOMPARE(rig.Page({QStringLiteral("Due")}, QStringLiteral("Volley")), QString());
    QCOMPARE(rig.digest.newsSubject, QStringLiteral("News"));
    // Exact text: a change of case is a new item.
    QCOMPARE(rig.Page({QStringLiteral("uno")}), QStringLiteral("uno"));
}

void TestNewsDigest::headline()
{
    Rig rig;
    rig.digest.newsSubject = QStringLiteral("Calcio");
    const QString longHeadline = Item(QLatin1Char('h'), 300);
    rig.digest.OfferHeadline(longHeadline);
    QCOMPARE(rig.digest.newsText, longHeadline);
    QCOMPARE(rig.digest.newsSubject, QStringLiteral("News"));
    rig.digest.OfferHeadline(longHeadline);
    QCOMPARE(rig.digest.newsText, QString());

    // The empty headline of a page without one is recorded once and yields nothing.
    rig.digest.OfferHeadline(QString());
    rig.digest.OfferHeadline(QString());
    QCOMPARE(rig.digest.newsText, QString());
    QCOMPARE(rig.digest.newsSeen.Count(), 2);
}

void TestNewsDigest::recipients_data()
{
    QTest::addColumn<QStringList>("slotTexts");
    QTest::addColumn<QStringList>("used");
    QTest::newRow("blank slots skipped") << QStringList{"", "   ", "b@example.org"} << QStringList{"b@example.org"};
    QTest::newRow("blank before an address kept")
        << QStringList{" a@example.org", "", ""} << QStringList{" a@example.org"};
    QTest::newRow("a tab is not a blank") << QStringList{"\t", "", ""} << QStringList{"\t"};
}

void TestNewsDigest::recipients()
{
    QFETCH(QStringList, slotTexts);
    QFETCH(QStringList, used);
    Rig rig;
    for (int i = 0; i < 3; ++i)
        rig.settings.NewsDest[i] = slotTexts[i];
    rig.digest.DeliverNews(QStringLiteral("Calcio"), QStringLiteral("Aquile-Lupi 2-1"));
    QCOMPARE(rig.outbox.mailQueue().Count(), used.size());
    for (int i = 0; i < used.size(); ++i) {
        QCOMPARE(rig.Queued(i)->mailTo, used[i]);
        QCOMPARE(rig.Queued(i)->mailToNick, used[i]);
        QCOMPARE(rig.lstLog.Line(i), "QUEUED - " + used[i] + " " + used[i] + " - Calcio: Aquile-Lupi 2-1");
    }
}

void TestNewsDigest::threeRecipients()
{
    Rig rig;
    rig.lstLog.InsertLine(0, QStringLiteral("earlier line"));
    rig.settings.NewsDest = {QStringLiteral("a@x.org"), QStringLiteral("b@x.org"), QStringLiteral("c@x.org")};
    const QString text = QStringLiteral("Beta - Delta 3-1 [25-20 22-25 25-18 25-23] --- Zeta - Theta 3-2");
    rig.digest.DeliverNews(QStringLiteral("Volley"), text);

    QCOMPARE(rig.captions, QStringList{text});
    QCOMPARE(rig.queuedAtCaption, QList<int>{0}); // the caption comes before any record
    QCOMPARE(rig.outbox.mailQueue().Count(), 3);
    for (int i = 0; i < 3; ++i) {
        const auto record = rig.Queued(i);
        QCOMPARE(record->mailID, i + 1);
        QCOMPARE(record->mailTo, rig.settings.NewsDest[i]);
        QCOMPARE(record->mailSubject, QStringLiteral("Volley"));
        QCOMPARE(record->mailText, text);
        QCOMPARE(record->mailFrom, QStringLiteral("me@example.org"));
        QCOMPARE(record->mailFromName, QStringLiteral("Io"));
        QCOMPARE(record->mailTimeCreated, rig.clock.Now());
        const QString preview = QString(QStringLiteral("Volley: ") + text).left(50);
        QCOMPARE(rig.lstLog.Line(i + 1), "QUEUED - " + record->mailTo + " " + record->mailTo + " - " + preview);
    }
    QVERIFY(rig.Queued(0) != rig.Queued(1));
}

void TestNewsDigest::noRecipientStillRecorded()
{
    Rig rig;
    QCOMPARE(rig.Page({QStringLiteral("Uno")}), QStringLiteral("Uno"));
    rig.digest.DeliverNews(rig.digest.newsSubject, rig.digest.newsText);
    QCOMPARE(rig.outbox.mailQueue().Count(), 0);
    QCOMPARE(rig.lstLog.LineCount(), 0);
    // Recorded all the same: a recipient added later does not get it.
    rig.settings.NewsDest[0] = QStringLiteral("a@x.org");
    QCOMPARE(rig.Page({QStringLiteral("Uno")}), QString());
}

QTEST_GUILESS_MAIN(TestNewsDigest)
#include "test_newsdigest.moc"
