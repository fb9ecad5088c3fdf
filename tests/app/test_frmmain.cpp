// The main window driven as a person would: typing, Tab and clicks, by object name.
#include "frmMainFixture.h"
#include "mail/Dispatcher.h"
#include "mail/Outbox.h"

#include <QAction>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

using namespace testsupport;
using Icon = platform::IDialogs::Icon;

namespace {
const QString kGateway = QStringLiteral("sms.example.invalid");

QStringList Rows(const QListWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows.append(list->item(i)->text());
    return rows;
}
} // namespace

class TestFrmMain : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();

    void layoutAndCaptions();
    void firstStartLabels();
    void invia_checks_data();
    void invia_checks();
    void invia_queuesAndClears();
    void mobileRuleRunsBeforeInviaActs_data();
    void mobileRuleRunsBeforeInviaActs();
    void counters();
    void last();
    void selectAllOnEntry();
    void addressBookRoundTrip();
    void addressBookRefusesUnstorableEntry();
    void unreadableAddressBookIsNotOverwritten();
    void sortCapitalsFirst();
    void selectionFillsRecipient();
    void exitQuestion_data();
    void exitQuestion();
    void exitWithoutQueueAsksNothing();
    void clearKeepsLinesOfWaitingRecords();
    void viewLog();
    void sessionShowsInDoingLabel();

private:
    app::frmMain& Show();
    void Type(const char* field, const QString& text);
    void Click(const char* button);

    std::unique_ptr<frmMainFixture> f;
};

void TestFrmMain::init()
{
    f = std::make_unique<frmMainFixture>();
    QVERIFY(f->dataDir.isValid());
}

void TestFrmMain::cleanup()
{
    f.reset();
}

app::frmMain& TestFrmMain::Show()
{
    app::frmMain& w = f->window ? *f->window : f->Open();
    w.show();
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w))
        qWarning("window not active");
    return w;
}

// Clicks into the field first, so that leaving it later is a real focus change.
void TestFrmMain::Type(const char* field, const QString& text)
{
    QWidget* widget = f->window->findChild<QWidget*>(QLatin1String(field));
    QVERIFY2(widget, field);
    QTest::mouseClick(widget, Qt::LeftButton);
    if (auto* line = qobject_cast<QLineEdit*>(widget))
        line->selectAll();
    // keyClicks takes printable characters only; a line break is the Return key.
    const QStringList lines = text.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        if (i > 0)
            QTest::keyClick(widget, Qt::Key_Return);
        QTest::keyClicks(widget, lines[i]);
    }
}

void TestFrmMain::Click(const char* button)
{
    auto* widget = f->window->findChild<QAbstractButton*>(QLatin1String(button));
    QVERIFY2(widget, button);
    QTest::mouseClick(widget, Qt::LeftButton);
}

void TestFrmMain::layoutAndCaptions()
{
    f->Configure();
    app::frmMain& w = Show();
    QCOMPARE(w.windowTitle(), QStringLiteral("Send mail"));
    QCOMPARE(w.centralWidget()->size(), QSize(616, 455));
    QCOMPARE(w.minimumSize(), w.maximumSize());
    QCOMPARE(f->Find<QWidget>("lstLog")->toolTip(),
             QStringLiteral("Ultimi messaggi inviati, QUEUED=in coda  OK=inviato  ERR=errore"));
    QCOMPARE(f->Find<QWidget>("lstRubrica")->geometry(), QRect(344, 104, 269, 160));
    QCOMPARE(f->Find<QPushButton>("cmdInvia")->text(), QStringLiteral("Invia"));
    QVERIFY(!f->Find<QPushButton>("cmdInvia")->icon().isNull());
    QVERIFY(!f->Find<QToolButton>("cmdViewLog")->icon().isNull());
    for (QPushButton* button : w.findChildren<QPushButton*>())
        QVERIFY2(!button->autoDefault() && !button->isDefault(), qPrintable(button->objectName()));
    QCOMPARE(f->Find<QAction>("mnuConfigure")->text(), QStringLiteral("Configurazione"));
    QCOMPARE(f->Find<QAction>("mnuExit")->text(), QStringLiteral("Esci"));

    // The focus order, from the subject round to "Last" and back.
    const QStringList order = {"txtSubject", "txtTesto",  "lstRubrica", "cmdSort",    "cmdElimina",
                               "cmdInvia",   "lstLog",    "txtName",    "txtNick",    "txtTo",
                               "cmdSalva",   "cmdViewLog", "cmdClear",  "cmdLast",    "txtSubject"};
    f->Find<QWidget>("txtSubject")->setFocus(Qt::TabFocusReason);
    for (int i = 1; i < order.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), order[i]);
    }
    // No caption is cut: every label holds its own text.
    for (QLabel* label : w.findChildren<QLabel*>())
        QVERIFY2(label->width() >= label->sizeHint().width() || label->text().isEmpty(),
                 qPrintable(label->objectName()));
}

void TestFrmMain::firstStartLabels()
{
    Show();
    QCOMPARE(f->Find<QLabel>("lblSMTP")->text(), QStringLiteral("Smtp: "));
    QCOMPARE(f->Find<QLabel>("lblFrom")->text(), QStringLiteral("From: <>"));
    QCOMPARE(f->Find<QLabel>("lblCharCount")->text(), QStringLiteral("Caratteri: 0"));
    QCOMPARE(f->Find<QLabel>("lblCharsRemain")->text(), QStringLiteral("SMS caratt.disp.: 153"));
    QVERIFY(QFile::exists(f->dataDir.filePath(QStringLiteral("rubrica.txt"))));
    QCOMPARE(f->timer1.Interval(), 1000);
    QCOMPARE(f->timer2.Interval(), 3000);
    QVERIFY(f->timer1.IsActive() && f->timer2.IsActive());
}

void TestFrmMain::invia_checks_data()
{
    QTest::addColumn<QString>("smtp");
    QTest::addColumn<QString>("from");
    QTest::addColumn<QString>("to");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("message");
    QTest::addColumn<int>("icon");

    const QString ok = QStringLiteral("ciao");
    QTest::newRow("no server, all empty") << "" << "" << "" << "" << "Configurare SMTP!" << int(Icon::Exclamation);
    QTest::newRow("server without dot") << "localhost" << "a@b" << "c@d" << ok << "Configurare SMTP!"
                                        << int(Icon::Exclamation);
    QTest::newRow("no own address") << "mail.x.invalid" << "me" << "c@d" << ok << "Configurare mittente!"
                                    << int(Icon::Exclamation);
    QTest::newRow("recipient without @") << "mail.x.invalid" << "a@b" << "3312345678" << ok
                                         << "indirizzo non valido" << int(Icon::None);
    QTest::newRow("text of three blanks") << "mail.x.invalid" << "a@b" << "c@d" << "   " << "e il testo?"
                                          << int(Icon::Exclamation);
}

void TestFrmMain::invia_checks()
{
    QFETCH(QString, smtp);
    QFETCH(QString, from);
    QFETCH(QString, to);
    QFETCH(QString, text);
    QFETCH(QString, message);
    QFETCH(int, icon);
    f->SetStored(QStringLiteral("Address"), QStringLiteral("SMTP"), smtp);
    f->SetStored(QStringLiteral("Address"), QStringLiteral("From"), from);
    app::frmMain& w = Show();
    Type("txtTo", to);
    Type("txtSubject", QStringLiteral("oggetto"));
    Type("txtTesto", text);
    Click("cmdInvia");

    QCOMPARE(f->dialogs.shown.size(), 1);
    QCOMPARE(f->dialogs.shown[0].text, message);
    QCOMPARE(int(f->dialogs.shown[0].icon), icon);
    QCOMPARE(w.outbox().mailQueue().Count(), 0);
    QCOMPARE(f->Find<QListWidget>("lstLog")->count(), 0);
    QCOMPARE(f->Find<QLineEdit>("txtSubject")->text(), QStringLiteral("oggetto"));
    QCOMPARE(f->Find<QPlainTextEdit>("txtTesto")->toPlainText(), text);
}

void TestFrmMain::invia_queuesAndClears()
{
    f->Configure();
    app::frmMain& w = Show();
    Type("txtNick", QStringLiteral("Bea"));
    Type("txtTo", QStringLiteral("bea@example.invalid"));
    Type("txtSubject", QStringLiteral("Cena"));
    Type("txtTesto", QStringLiteral("alle otto"));
    Click("cmdInvia");
    // An empty subject and a text of one line break are accepted too.
    Type("txtTesto", QStringLiteral("\n"));
    Click("cmdInvia");

    QVERIFY(f->dialogs.shown.isEmpty());
    QCOMPARE(w.outbox().mailQueue().Count(), 2);
    const auto first = w.outbox().mailQueue().Value(0).ObjectAs<mail::CMessaggio>();
    QVERIFY(first);
    QCOMPARE(first->mailTo, QStringLiteral("bea@example.invalid"));
    QCOMPARE(first->mailToNick, QStringLiteral("Bea"));
    QCOMPARE(first->mailFrom, QStringLiteral("me@example.invalid"));
    QCOMPARE(first->mailFromName, QStringLiteral("Anna"));
    QCOMPARE(first->mailTimeCreated, f->clock.Now());
    QCOMPARE(Rows(f->Find<QListWidget>("lstLog")),
             QStringList({"QUEUED - Bea bea@example.invalid - Cena alle otto",
                          "QUEUED - Bea bea@example.invalid -  \n"}));
    QCOMPARE(f->Find<QLineEdit>("txtSubject")->text(), QString());
    QCOMPARE(f->Find<QPlainTextEdit>("txtTesto")->toPlainText(), QString());
    QCOMPARE(f->Find<QLineEdit>("txtTo")->text(), QStringLiteral("bea@example.invalid"));
    QCOMPARE(f->Find<QLabel>("lblCharCount")->text(), QStringLiteral("Caratteri: 0"));
    QCOMPARE(f->Find<QLabel>("lblCharsRemain")->text(), QStringLiteral("SMS caratt.disp.: 149"));
}

void TestFrmMain::mobileRuleRunsBeforeInviaActs_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("queuedTo");
    QTest::addColumn<bool>("smsCounter");
    QTest::newRow("bare mobile") << "3471234567" << "3471234567@" + kGateway << true;
    QTest::newRow("blanks around") << "  3471234567 " << "3471234567@" + kGateway << true;
    QTest::newRow("33 typed in full") << "3312345678@" + kGateway << "3312345678@" + kGateway << true;
    QTest::newRow("plain address") << " x@example.invalid" << "x@example.invalid" << false;
}

void TestFrmMain::mobileRuleRunsBeforeInviaActs()
{
    QFETCH(QString, typed);
    QFETCH(QString, queuedTo);
    QFETCH(bool, smsCounter);
    f->Configure();
    f->SetStored(QStringLiteral("Address"), QStringLiteral("SmsGateway"), kGateway);
    app::frmMain& w = Show();
    Type("txtTesto", QStringLiteral("ci sei?"));
    Type("txtTo", typed);
    Click("cmdInvia"); // straight from txtTo: its validation must come first

    QVERIFY2(f->dialogs.shown.isEmpty(), qPrintable(f->dialogs.shown.value(0).text));
    QCOMPARE(w.outbox().mailQueue().Count(), 1);
    const auto record = w.outbox().mailQueue().Value(0).ObjectAs<mail::CMessaggio>();
    QCOMPARE(record->mailTo, queuedTo);
    QCOMPARE(f->Find<QLineEdit>("txtTo")->text(), queuedTo);
    QCOMPARE(f->Find<QLabel>("lblCharsRemain")->isVisible(), smsCounter);
}

void TestFrmMain::counters()
{
    f->Configure();
    f->SetStored(QStringLiteral("Address"), QStringLiteral("Name"), QString(10, QLatin1Char('n')));
    Show();
    auto* remain = f->Find<QLabel>("lblCharsRemain");
    QVERIFY(!remain->isVisible());
    Type("txtTo", QStringLiteral("+39 3471234567"));
    Type("txtSubject", QString(20, QLatin1Char('s')));
    QCOMPARE(f->Find<QLineEdit>("txtTo")->text(), QStringLiteral("+39 3471234567"));
    QVERIFY(!remain->isVisible());
    Type("txtTesto", QString(129, QLatin1Char('t')) + QLatin1Char('\n'));
    QCOMPARE(f->Find<QLabel>("lblCharCount")->text(), QStringLiteral("Caratteri: 130"));
    QCOMPARE(remain->text(), QStringLiteral("SMS caratt.disp.: -7"));
}

void TestFrmMain::last()
{
    f->Configure();
    Show();
    Type("txtSubject", QStringLiteral("vecchio"));
    Click("cmdLast"); // nothing queued yet: subject and text are emptied
    QCOMPARE(f->Find<QLineEdit>("txtSubject")->text(), QString());
    Type("txtTo", QStringLiteral("x@example.invalid"));
    Type("txtSubject", QStringLiteral("Treno"));
    Type("txtTesto", QStringLiteral("arrivo alle 9"));
    Click("cmdInvia");
    Click("cmdLast");
    QCOMPARE(f->Find<QLineEdit>("txtSubject")->text(), QStringLiteral("Treno"));
    QCOMPARE(f->Find<QPlainTextEdit>("txtTesto")->toPlainText(), QStringLiteral("arrivo alle 9"));
    QCOMPARE(f->Find<QLabel>("lblCharCount")->text(), QStringLiteral("Caratteri: 13"));
}

void TestFrmMain::selectAllOnEntry()
{
    f->Configure();
    Show();
    auto* to = f->Find<QLineEdit>("txtTo");
    auto* nick = f->Find<QLineEdit>("txtNick");
    to->setText(QStringLiteral("x@example.invalid"));
    nick->setText(QStringLiteral("Bea"));
    auto* testo = f->Find<QPlainTextEdit>("txtTesto");
    testo->setPlainText(QStringLiteral("testo"));

    nick->setFocus(Qt::TabFocusReason);
    QTest::keyClick(nick, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), to);
    QCOMPARE(to->selectedText(), to->text());
    // By mouse too: the click does not leave a bare cursor behind.
    QTest::mouseClick(nick, Qt::LeftButton, {}, QPoint(5, nick->height() / 2));
    QCOMPARE(nick->selectedText(), QStringLiteral("Bea"));
    QTest::keyClicks(nick, QStringLiteral("Ugo"));
    QCOMPARE(nick->text(), QStringLiteral("Ugo"));
    // The text box selects nothing on entry.
    f->Find<QWidget>("txtSubject")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), testo);
    QVERIFY(!testo->textCursor().hasSelection());
}

void TestFrmMain::addressBookRoundTrip()
{
    QFile file(f->dataDir.filePath(QStringLiteral("rubrica.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Mario , 3471234567\r\n\r\nsenza virgola\r\na,b,c\r\nLuca,luca@example.invalid\r\n");
    file.close();
    app::frmMain& w = Show();
    auto* list = f->Find<QListWidget>("lstRubrica");
    QCOMPARE(Rows(list), QStringList({"Mario \t 3471234567", "Luca\tluca@example.invalid"}));

    Type("txtNick", QStringLiteral("  Bea "));
    Type("txtTo", QStringLiteral("bea@example.invalid"));
    Click("cmdSalva");
    Click("cmdSalva"); // twice: duplicates are allowed
    list->setCurrentRow(1);
    Click("cmdElimina");
    Click("cmdElimina"); // nothing selected any more
    QCOMPARE(Rows(list), QStringList({"Mario \t 3471234567", "Bea\tbea@example.invalid", "Bea\tbea@example.invalid"}));

    QVERIFY(w.close());
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("Mario,3471234567\r\nBea,bea@example.invalid\r\nBea,bea@example.invalid\r\n"));
    file.close();
    QCOMPARE(f->Stored(QStringLiteral("Address"), QStringLiteral("Name")), QString());
    QCOMPARE(f->Stored(QStringLiteral("Address"), QStringLiteral("TempoAttesa")), QStringLiteral("30"));
    QVERIFY(f->dialogs.shown.isEmpty());
}

void TestFrmMain::addressBookRefusesUnstorableEntry()
{
    Show();
    Type("txtNick", QStringLiteral("Rossi, Mario"));
    Type("txtTo", QStringLiteral("mario@example.invalid"));
    Click("cmdSalva");
    QCOMPARE(f->Find<QListWidget>("lstRubrica")->count(), 0);
    QCOMPARE(f->dialogs.shown.size(), 1);
    QVERIFY(!f->dialogs.shown[0].text.isEmpty());

    // A save that cannot happen is told, with the path.
    QVERIFY(QDir(f->dataDir.path()).remove(QStringLiteral("rubrica.txt")));
    QVERIFY(QDir(f->dataDir.path()).mkdir(QStringLiteral("rubrica.txt")));
    QVERIFY(f->window->close());
    QCOMPARE(f->dialogs.shown.size(), 2);
    QVERIFY(f->dialogs.shown[1].text.contains(f->dataDir.filePath(QStringLiteral("rubrica.txt"))));
}

void TestFrmMain::sortCapitalsFirst()
{
    QFile file(f->dataDir.filePath(QStringLiteral("rubrica.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("B,b@x\r\na,a@x\r\nA,A@x\r\n");
    file.close();
    Show();
    Click("cmdSort");
    QCOMPARE(Rows(f->Find<QListWidget>("lstRubrica")), QStringList({"A\tA@x", "B\tb@x", "a\ta@x"}));
    QCOMPARE(f->Find<QLineEdit>("txtTo")->text(), QString()); // sorting selects nothing
}

void TestFrmMain::selectionFillsRecipient()
{
    f->SetStored(QStringLiteral("Address"), QStringLiteral("SmsGateway"), kGateway);
    QFile file(f->dataDir.filePath(QStringLiteral("rubrica.txt")));
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("Mario,3471234567\r\nGio,3471234567@sms.example.invalid\r\n");
    file.close();
    Show();
    auto* list = f->Find<QListWidget>("lstRubrica");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(0)).center());
    QCOMPARE(f->Find<QLineEdit>("txtTo")->text(), QStringLiteral("3471234567"));
    QCOMPARE(f->Find<QLineEdit>("txtNick")->text(), QStringLiteral("Mario"));
    QVERIFY(!f->Find<QLabel>("lblCharsRemain")->isVisible());
    QTest::keyClick(list, Qt::Key_Down);
    QCOMPARE(f->Find<QLineEdit>("txtNick")->text(), QStringLiteral("Gio"));
    QVERIFY(f->Find<QLabel>("lblCharsRemain")->isVisible());
}

void TestFrmMain::exitQuestion_data()
{
    QTest::addColumn<bool>("answerYes");
    QTest::newRow("No keeps the window") << false;
    QTest::newRow("Yes discards the message") << true;
}

void TestFrmMain::exitQuestion()
{
    QFETCH(bool, answerYes);
    f->Configure();
    app::frmMain& w = Show();
    Type("txtTo", QStringLiteral("x@example.invalid"));
    Type("txtTesto", QStringLiteral("in coda"));
    Click("cmdInvia");
    f->clock.AdvanceSeconds(31);
    bool pendingWhileAsked = false;
    f->dialogs.onAsk = [&] {
        pendingWhileAsked = w.dispatcher().exitPending;
        f->timer1.Fire(); // the timer keeps ticking while the question is open
    };
    f->dialogs.answers.enqueue(answerYes);
    f->Find<QAction>("mnuExit")->trigger();

    QCOMPARE(f->dialogs.shown.size(), 1);
    QVERIFY(f->dialogs.shown[0].question);
    QCOMPARE(f->dialogs.shown[0].text, QStringLiteral("Ci sono dei messaggi accodati. Vuoi uscire senza inviarli?"));
    QVERIFY(pendingWhileAsked);
    QCOMPARE(f->ws.connects, 0);
    QCOMPARE(w.isVisible(), !answerYes);
    QCOMPARE(w.dispatcher().exitPending, answerYes);
    f->timer1.Fire();
    QCOMPARE(f->ws.connects, answerYes ? 0 : 1);
    QCOMPARE(w.outbox().mailQueue().Count(), answerYes ? 1 : 0);
}

void TestFrmMain::unreadableAddressBookIsNotOverwritten()
{
    // A rubrica.txt that exists but cannot be read (here a folder in its place).
    const QString path = f->dataDir.filePath(QStringLiteral("rubrica.txt"));
    QVERIFY(QDir(f->dataDir.path()).mkdir(QStringLiteral("rubrica.txt")));
    Show();
    QCOMPARE(f->dialogs.shown.size(), 1);
    QVERIFY(f->dialogs.shown[0].text.contains(path));
    Type("txtNick", QStringLiteral("Mario"));
    Type("txtTo", QStringLiteral("mario@example.invalid"));
    Click("cmdSalva");
    QVERIFY(f->window->close());
    QCOMPARE(f->dialogs.shown.size(), 1); // no save was tried over it
    QVERIFY(QFileInfo(path).isDir());
}

void TestFrmMain::exitWithoutQueueAsksNothing()
{
    f->Configure();
    app::frmMain& w = Show();
    Type("txtTo", QStringLiteral("x@example.invalid"));
    Type("txtTesto", QStringLiteral("in volo"));
    Click("cmdInvia");
    f->clock.AdvanceSeconds(31);
    f->timer1.Fire(); // its session runs: it has left the queue
    QCOMPARE(f->ws.connects, 1);
    QVERIFY(w.close());
    QVERIFY(f->dialogs.shown.isEmpty());
    QCOMPARE(f->Stored(QStringLiteral("Address"), QStringLiteral("SMTP")), QStringLiteral("mail.example.invalid"));
    QCOMPARE(f->Stored(QStringLiteral("Address"), QStringLiteral("Name")), QStringLiteral("Anna"));
}

void TestFrmMain::clearKeepsLinesOfWaitingRecords()
{
    f->Configure();
    Show();
    Type("txtTo", QStringLiteral("x@example.invalid"));
    Type("txtTesto", QStringLiteral("uno"));
    Click("cmdInvia");
    auto* log = f->Find<QListWidget>("lstLog");
    Click("cmdClear");
    QCOMPARE(log->count(), 1);
    f->clock.AdvanceSeconds(31);
    f->timer1.Fire();
    Click("cmdClear");
    QCOMPARE(log->count(), 0);
    QVERIFY(f->dialogs.shown.isEmpty());
}

void TestFrmMain::viewLog()
{
    Show();
    const QString path = f->dataDir.filePath(QStringLiteral("log.txt"));
    QVERIFY(!QFile::exists(path));
    Click("cmdViewLog");
    QVERIFY(QFile::exists(path));
    QCOMPARE(f->desktop.opened, QStringList{path});
    QVERIFY(f->dialogs.shown.isEmpty());
    f->desktop.result = false;
    Click("cmdViewLog");
    QCOMPARE(f->dialogs.shown.size(), 1);
    QVERIFY(f->dialogs.shown[0].text.contains(path));
}

void TestFrmMain::sessionShowsInDoingLabel()
{
    f->Configure();
    Show();
    Type("txtNick", QStringLiteral("Bea"));
    Type("txtTo", QStringLiteral("bea@example.invalid"));
    Type("txtTesto", QStringLiteral("ciao"));
    Click("cmdInvia");
    f->clock.AdvanceSeconds(31);
    f->timer1.Fire();
    QCOMPARE(f->ws.connectedHost, QStringLiteral("mail.example.invalid"));
    QCOMPARE(f->ws.connectedPort, quint16(25));
    QCOMPARE(f->Find<QLabel>("lblDoing")->text(), QStringLiteral("[1] Sending to Bea"));
    f->ws.Fail(QStringLiteral("Connection refused"));
    QCOMPARE(f->Find<QLabel>("lblDoing")->text(), QString());
    QCOMPARE(f->Find<QListWidget>("lstLog")->item(0)->text(), QStringLiteral("ERR - Connection refused"));
}

QTEST_MAIN(TestFrmMain)
#include "test_frmmain.moc"
