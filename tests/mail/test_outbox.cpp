// The outbox on disk and the retries: what is queued is on disk before its line shows, comes back
// after a restart in creation order, and leaves the disk when it ends; unreadable files are moved
// aside; temporary failures are retried on the schedule until RetryHours, permanent ones are not.
#include "FakeTcpSocket.h"
#include "MailRig.h"
#include "mail/OutboxStore.h"

#include <QTest>
#include <QUuid>

using namespace mail;
using DurableRig = MailRig<testsupport::FakeTcpSocket, testsupport::FakeTimer, true>;

namespace {
// A status list that counts the queued lines shown before their record was on disk.
class CheckingList final : public IStatusList {
public:
    QString directory;
    int shownBeforeWritten = 0;
    QStringList lines;
    int LineCount() const override { return int(lines.size()); }
    QString Line(int index) const override { return lines.value(index); }
    void InsertLine(int index, const QString& text) override
    {
        if (text.startsWith("QUEUED") && QDir(directory).entryList({"*.json"}, QDir::Files).size() <= lines.size())
            ++shownBeforeWritten;
        lines.insert(index, text);
    }
    void ReplaceLine(int index, const QString& text) override { lines[index] = text; }
    void RemoveLine(int index) override { lines.removeAt(index); }
    void Clear() override { lines.clear(); }
};
} // namespace

class TestOutbox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // On disk before the line shows; back after a restart in creation order (the same instant
    // kept in queueing order), with their times and uids, a RETRY line for one that waits; gone
    // from disk once called back (delivered, refused and discarded are proven with the session
    // and the window).
    void durableQueue()
    {
        DurableRig rig; // its store and clock, with outboxes of this test's own
        CheckingList lstLog;
        lstLog.directory = rig.store.Directory();
        auto first = std::make_unique<Outbox>(lstLog, rig.clock, rig.settings, &rig.store);
        const double now = rig.clock.Now();
        const auto b = DurableRig::Record("B", now), c = DurableRig::Record("C", now), a = DurableRig::Record("A", now - 0.5);
        for (const auto& record : {b, c, a})
            first->Enqueue(record, kNewsSeparator);
        QCOMPARE(lstLog.shownBeforeWritten, 0);
        // b fails for now and waits a minute.
        first->mailQueue().Remove(0);
        first->SetInFlight(b);
        first->ReportError("Connection refused");
        first.reset(); // the program ends without a word: a kill, a crash
        // ... even in the middle of rewriting a record: its temporary file goes, other files stay.
        const QString leftover = rig.store.PathFor(b->mailUid) + ".aB3xYz", notes = rig.store.Directory() + "/notes.txt";
        QVERIFY(QFile(leftover).open(QIODevice::WriteOnly) && QFile(notes).open(QIODevice::WriteOnly));

        MemoryStatusList lines;
        rig.clock.AdvanceSeconds(10);
        Outbox second(lines, rig.clock, rig.settings, &rig.store);
        QCOMPARE(second.Restore(), 3);
        QCOMPARE(lines.Lines(), QStringList({"QUEUED - A a@example.it - s: t", "RETRY 12:01 - B b@example.it - s: t",
                                             "QUEUED - C c@example.it - s: t"}));
        const auto back = [&](int i) { return second.mailQueue().Value(i).ObjectAs<CMessaggio>(); };
        QCOMPARE(back(0)->mailUid, a->mailUid);
        QCOMPARE(back(0)->mailTimeCreated, a->mailTimeCreated);
        QCOMPARE(back(1)->mailLastReason, "Connection refused");
        QCOMPARE(back(2)->mailID, 2);
        QVERIFY(!QFile::exists(leftover) && QFile::exists(notes));
        // A new record goes after them, also when made in the same instant.
        const auto d = DurableRig::Record("D", now);
        second.Enqueue(d, kNewsSeparator);
        QVERIFY(d->mailSequence > back(2)->mailSequence);
        QCOMPARE(second.CallBack(d->mailID), Outbox::CallBackResult::CalledBack);
        QCOMPARE(rig.store.Load().records.size(), size_t(3));
    }

    // A message that needs the user holds the others with it, keeps its HELD line across a restart
    // and is never tried by the clock; "Riprova ora" sends one (a RETRY one keeps its count), OK in
    // the configuration dialog the rest, and each gets its whole RetryHours window again.
    void heldMessages()
    {
        DurableRig rig;
        rig.settings.RetryHours = 1;
        const auto a = rig.Queue("s", "t", "A"), b = rig.Queue("s", "t", "B");
        rig.clock.AdvanceSeconds(2 * 3600); // due long ago: a retry now would be past the window
        rig.settings.Security = "ssl";
        rig.dispatcher.Timer1_Timer();
        rig.settings.Security = "none";
        MemoryStatusList lines;
        Outbox restarted(lines, rig.clock, rig.settings, &rig.store);
        QCOMPARE(restarted.Restore(), 2);
        QCOMPARE(lines.Lines(), QStringList({"HELD - A a@example.it - s t", "HELD - B b@example.it - s t"}));
        rig.clock.AdvanceSeconds(7 * 86400);
        rig.dispatcher.Timer1_Timer();
        QCOMPARE(rig.ws.connects, 0);
        QVERIFY(!rig.outbox.CanRetryNow(0) && !rig.outbox.RetryNow(0)); // the reason line has no message
        QVERIFY(rig.outbox.RetryNow(b->mailID));
        Run(rig); // greylisted: the back-off starts anew
        QCOMPARE(rig.lstLog.Line(2), "RETRY " + platform::FromDays(rig.clock.Now() + 60 / platform::kSecondsPerDay).toString("hh:mm") + " - B b@example.it - s t");
        QVERIFY(rig.outbox.RetryNow(b->mailID)); // "Riprova ora" on a RETRY line: at once, the count goes on
        Run(rig);
        QCOMPARE(b->mailAttempts, 2);
        QCOMPARE(rig.outbox.ReleaseHeld(), 1); // a
        QVERIFY(!a->mailHeld && OutboxStore::Parse(ReadFile(rig.store.PathFor(a->mailUid)))->mailHeld == false);
    }

    // Attempts 1, 2, 4, 8, 16 and 30 minutes apart, then every 30, the last one on the deadline
    // RetryHours after creation, then the end with the last reason. Each attempt's file holds its count.
    void retrySchedule()
    {
        DurableRig rig;
        rig.settings.RetryHours = 3;
        const auto record = rig.Queue();
        QList<int> gaps; // minutes between attempts
        double last = rig.clock.Now();
        for (int tick = 0; tick <= 3 * 3600 / 5 && rig.outbox.mailQueue().Count() > 0; ++tick, rig.clock.AdvanceSeconds(5)) {
            const int before = rig.ws.connects;
            Run(rig);
            if (rig.ws.connects == before)
                continue;
            if (rig.ws.connects > 1)
                gaps.append(qRound((rig.clock.Now() - last) * 24 * 60));
            last = rig.clock.Now();
            if (rig.outbox.mailQueue().Count() > 0)
                QCOMPARE(OutboxStore::Parse(ReadFile(rig.store.PathFor(record->mailUid)))->mailAttempts,
                         rig.ws.connects);
        }
        QCOMPARE(gaps, QList<int>({1, 2, 4, 8, 16, 30, 30, 30, 30, 29}));
        QCOMPARE(rig.lstLog.Line(0), "ERR - Non consegnato in 3 ore: 451 4.7.1 greylisted, come back later");
        QCOMPARE(rig.lstLog.Line(1), "ERR - Anna anna@example.it - s t"); // its own line no longer promises a retry
        QVERIFY(rig.OutboxFiles().isEmpty());
    }

    // Whatever is not a record of ours is moved to damaged/ and told once; the good ones load.
    void damagedFiles_data()
    {
        QTest::addColumn<QString>("name"); // {uid}: a fresh uid
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<bool>("loads");
        const auto good = DurableRig::Record("x", 45000);
        good->mailUid = "{uid}";
        const QByteArray valid = OutboxStore::Serialize(*good);
        auto row = [&](const char* tag, const QByteArray& bytes, bool loads = false, const QString& name = "{uid}.json") {
            QTest::newRow(tag) << name << bytes << loads;
        };
        row("valid", valid, true);
        row("cut short", valid.left(valid.size() / 2));
        row("later version", QByteArray(valid).replace("\"version\": 2", "\"version\": 3"));
        row("version 1", R"({"format": "brevilo-outbox", "version": 1, "uid": "{uid}", "created": 45000,
            "to": "x@example.it", "attempts": 2, "nextAttempt": 45000.1, "lastReason": "451"})", true);
        row("no recipient", QByteArray(valid).replace("\"to\"", "\"xx\""));
        row("another record's uid", QByteArray(valid).replace("{uid}", "0f8a4b56-7c2d-4e1f-9a3b-5d6e7f8091a2"));
        row("not a uid name", QByteArray(valid).replace("{uid}", "notes"), false, "notes.json");
        row("huge attempt count", QByteArray(valid).replace("\"attempts\": 0", "\"attempts\": 1e300"));
    }
    void damagedFiles()
    {
        QFETCH(QString, name);
        QFETCH(QByteArray, bytes);
        QFETCH(bool, loads);
        const QString uid = QUuid::createUuid().toString(QUuid::WithoutBraces);
        name.replace("{uid}", uid);
        DurableRig rig;
        rig.Queue(); // a good record beside it
        QFile file(rig.store.Directory() + "/" + name);
        bytes.replace("{uid}", uid.toUtf8());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush());
        MemoryStatusList lines;
        Outbox restarted(lines, rig.clock, rig.settings, &rig.store);
        QCOMPARE(restarted.Restore(), loads ? 2 : 1);
        QCOMPARE(QDir(rig.store.DamagedDirectory()).entryList(QDir::Files), loads ? QStringList() : QStringList{name});
        QCOMPARE(rig.OutboxFiles().size(), loads ? 2 : 1);
        const QString told = "ERR - File illeggibili della posta in uscita spostati in " + rig.store.DamagedDirectory() + ": " + name;
        QCOMPARE(lines.Lines().filter("ERR").join('|'), loads ? QString() : told);
    }

    // A folder that cannot be written is told once; the messages still go from memory.
    void unwritableFolder()
    {
        DurableRig rig;
        QVERIFY(QFile(rig.store.Directory()).open(QIODevice::WriteOnly)); // a file where the folder should be
        rig.Queue("s", "t", "A");
        rig.Queue("s", "t", "B");
        QVERIFY(rig.lstLog.Line(0).startsWith("ERR - Impossibile scrivere la cartella della posta in uscita " + rig.store.Directory()));
        QCOMPARE(rig.lstLog.Lines().mid(1), QStringList({"QUEUED - A a@example.it - s t", "QUEUED - B b@example.it - s t"}));
        QCOMPARE(rig.outbox.mailQueue().Count(), 2);
        QCOMPARE(rig.outbox.Restore(), 0); // nothing to read there either, and no second complaint
        QCOMPARE(rig.lstLog.Lines().filter("ERR").size(), 1);
    }

private:
    // A tick; a session it starts gets the replies up to RCPT, which is greylisted.
    static void Run(DurableRig& rig)
    {
        const int before = rig.ws.connects;
        rig.dispatcher.Timer1_Timer();
        if (rig.ws.connects == before)
            return;
        for (const char* reply : {"220 ready\r\n", "250 hello\r\n", "250 sender ok\r\n", "451 4.7.1 greylisted, come back later\r\n"})
            rig.ws.Reply(reply);
    }
};

QTEST_GUILESS_MAIN(TestOutbox)
#include "test_outbox.moc"
