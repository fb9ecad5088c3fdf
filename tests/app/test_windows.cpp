// The main window and the configuration dialog driven as a person would: typing, Tab and clicks,
// on fakes and a temporary data folder; the sign-in once on the real clock and socket against a
// provider on the loopback; the real password dialog, browser route and program.
#include "FakeHttpClient.h"
#include "FakeTcpSocket.h"
#include "ScriptedSmtpServer.h"
#include "Fakes.h"
#include "OAuthServer.h"
#include "app/frmMain.h"
#include "app/frmOptions.h"
#include "mail/Dispatcher.h"
#include "mail/Outbox.h"
#include "platform/QtBrowser.h"
#include "platform/QtDialogs.h"

#include <QtTest>
#include <QtWidgets>

using namespace testsupport;

namespace {
const QString kGateway = "sms.example.invalid";

struct Env {
    FakeClock clock;
    MemorySettingsStore store;
    FakeDialogs dialogs;
    FakeDesktop desktop;
    FakeTcpSocket ws;
    FakeHttpClient inet1;
    FakeTimer timer1, timer2, replyTimer, signInTimer;
    FakeSecretStore secrets;
    FakeBrowser browser;
    QTemporaryDir dir;
    std::unique_ptr<app::frmMain> w;
};

// The configuration's variables, in a form QCOMPARE can show.
QStringList Fields(const settings::ModMain& m)
{
    QString flags;
    for (bool b : {m.SerieA, m.SerieB, m.PallavoloA1_finali, m.PallavoloA1_parziali, m.Notizie, m.TuttiGol})
        flags += QLatin1Char(b ? '1' : '0');
    return {m.SMTP, m.From, QString::number(m.TempoAttesa), m.NewsDest[0], m.NewsDest[1], m.NewsDest[2],
            m.PallavoloDettaglio, flags, m.Security, m.User, m.SmsGateway};
}

QStringList Rows(const QListWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows.append(list->item(i)->text());
    return rows;
}

QWidget* Focus() { return QApplication::focusWidget(); }

// Each key to whichever control has the focus by then.
template <class... Key>
void Keys(Key... keys)
{
    (QTest::keyClick(Focus(), keys), ...);
}

// No caption of a label or check box is cut.
void CheckCaptionsFit(const QWidget* root)
{
    for (const QLabel* l : root->findChildren<QLabel*>()) {
        const int needed = l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().height();
        QVERIFY(l->text().isEmpty() || (needed <= l->height() + 1 && (l->wordWrap() || l->sizeHint().width() <= l->width())));
    }
    for (const QCheckBox* b : root->findChildren<QCheckBox*>())
        QVERIFY(b->sizeHint().width() <= b->width());
}
} // namespace

class TestWindows : public QObject {
    Q_OBJECT
    std::unique_ptr<Env> e;
    QWidget* root = nullptr; // the window whose controls W finds

    void Set(const QString& key, const QString& value)
    {
        e->store.values.insert(MemorySettingsStore::Key("Brevilo", "Address", key), value);
    }
    void Configure(const QStringList& keys = {"SMTP", "mail.example.invalid", "From", "me@example.invalid", "Name", "Anna",
                                              "SmsGateway", kGateway}) // the store's gateway, not the built-in one
    {
        for (int i = 0; i + 1 < keys.size(); i += 2)
            Set(keys[i], keys[i + 1]);
    }
    void Book(const QByteArray& bytes)
    {
        QFile file(e->dir.filePath("rubrica.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    app::frmMain& Show(bool realPeers = false) // the real clock, socket and timers, or fakes
    {
        app::frmMainDeps d;
        d.store = &e->store, d.dialogs = &e->dialogs, d.desktop = &e->desktop, d.inet1 = &e->inet1, d.secrets = &e->secrets;
        if (!realPeers)
            d.clock = &e->clock, d.ws = &e->ws, d.timer1 = &e->timer1, d.timer2 = &e->timer2, d.replyTimer = &e->replyTimer;
        d.dataDirectory = e->dir.path(), d.outboxDirectory = e->dir.filePath("outbox");
        d.browser = &e->browser, d.signInTimer = &e->signInTimer;
        e->w = std::make_unique<app::frmMain>(d);
        root = e->w.get();
        e->w->show();
        e->w->activateWindow();
        (void)QTest::qWaitForWindowActive(e->w.get()); // clicks work on an inactive one too
        return *e->w;
    }
    // Makes a window the one W searches and activates it, as the window manager does; the offscreen
    // platform does not.
    void Activate(QWidget* window)
    {
        root = window;
        root->activateWindow();
        QTRY_COMPARE(QApplication::activeWindow(), root);
    }
    void OpenConfiguration() // by the menu, over the main window
    {
        e->w->mnuConfigure_Click();
        Activate(e->w->findChild<app::frmOptions*>());
    }
    void OpenAccount() // "Server e account…" by keyboard, from the configuration dialog
    {
        W<QPushButton>("cmdAccount")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(W<QPushButton>("cmdAccount"), Qt::Key_Space);
        QWidget* account = root->findChild<QDialog*>("frmAccount");
        QVERIFY(account && QTest::qWaitForWindowActive(account));
        root = account;
        QTRY_COMPARE(Focus(), W<QWidget>("cboSecurity"));
    }
    void CloseAccount() // its OK by Enter, back to the configuration dialog
    {
        Keys(Qt::Key_Return);
        QTRY_VERIFY(!root->isVisible());
        Activate(root->parentWidget());
    }
    void ConfirmToMain() // OK in the configuration dialog, and the main window active again
    {
        Click("cmdOk");
        Activate(e->w.get());
    }
    template <class T = QLineEdit>
    T* W(const char* name)
    {
        T* found = root->findChild<T*>(name);
        return found ? found : (qFatal("no control %s", name), nullptr);
    }
    // Clicks into the field first, so that leaving it later is a real focus change; replaces its text.
    void Type(const char* name, const QString& text)
    {
        QWidget* field = W<QWidget>(name);
        QTest::mouseClick(field, Qt::LeftButton);
        QTRY_VERIFY(field->hasFocus());
        QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(field, Qt::Key_Backspace);
        for (const QChar c : text) // keyClicks takes ASCII only
            QTest::sendKeyEvent(QTest::Click, field, c == '\n' ? Qt::Key_Return : Qt::Key_unknown, QString(c), Qt::NoModifier);
    }
    void Click(const char* name) { QTest::mouseClick(W<QAbstractButton>(name), Qt::LeftButton); }
    void Tick(const QString& name) { QTest::mouseClick(W<QCheckBox>(qPrintable(name)), Qt::LeftButton, {}, QPoint(6, 6)); }
    QString Text(const char* name) { return W<QPlainTextEdit>(name)->toPlainText(); }
    QString Label(const char* name) { return W<QLabel>(name)->text(); }
    QString Counters() { return Label("lblCharCount") + "|" + Label("lblCharsRemain"); }
    int Queued() { return e->w->outbox().mailQueue().Count(); }
    std::shared_ptr<mail::CMessaggio> Message(int i) { return e->w->outbox().mailQueue().Value(i).ObjectAs<mail::CMessaggio>(); }
    int OutboxFiles() { return QDir(e->dir.filePath("outbox")).entryList({"*.json"}, QDir::Files).size(); }
    void QueueOne(const QString& text)
    {
        Type("txtTo", "x@example.invalid");
        Type("txtTesto", text);
        Click("cmdInvia");
    }
    QStringList Said()
    {
        QStringList said;
        for (const auto& shown : e->dialogs.shown)
            said.append(shown.text + (shown.icon == platform::IDialogs::Icon::Exclamation ? " (!)" : ""));
        return said;
    }
    // In "Server e account…" by keyboard: STARTTLS, user, password and gateway, then its OK.
    void Account()
    {
        OpenAccount();
        Keys(Qt::Key_Down);
        for (const char* typed : {"anna", "segreto", "sms.operator.example"}) {
            Keys(Qt::Key_Tab);
            QTest::keyClicks(Focus(), typed);
        }
        QVERIFY(W("txtPassword")->echoMode() == QLineEdit::Password);
        CloseAccount();
    }
    // Tab into the status list and Down to the row; its context menu as the menu key opens it (the
    // offscreen platform does not turn the key into the event), and one of its actions.
    void IntoLog(int row)
    {
        W<QWidget>("cmdInvia")->setFocus();
        Keys(Qt::Key_Tab);
        W<QListWidget>("lstLog")->setCurrentRow(row - 1);
        Keys(Qt::Key_Down);
    }
    void LogMenu(const char* action, const QString& text)
    {
        auto* log = W<QListWidget>("lstLog");
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), log->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(log->viewport(), &menuKey);
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = log->findChild<QMenu*>("mnuLstLog")) && menu->isVisible());
        auto* chosen = menu->findChild<QAction*>(action);
        QVERIFY(chosen && chosen->isEnabled() && chosen->text() == text);
        chosen->trigger();
        menu->close();
    }

private Q_SLOTS:
    void init() { e = std::make_unique<Env>(); }
    void cleanup() { e.reset(); }

    // Both windows are also rendered to PNG files in the build folder, for a person to look at.
    void layoutAndScreenshots()
    {
        Configure();
        Book("Mario,3471234567\r\nGiovanna Bianchi,giovanna@example.invalid\r\n");
        app::frmMain& w = Show();
        QVERIFY(w.windowTitle() == "Send mail" && w.centralWidget()->size() == QSize(616, 455) && w.minimumSize() == w.maximumSize());
        const QString tip = W<QWidget>("lstLog")->toolTip(); // every prefix a line can show
        QVERIFY(tip.startsWith("Ultimi messaggi inviati, QUEUED=in coda  OK=inviato  ERR=errore\n") && tip.contains("RETRY hh:mm=")
                && tip.contains("HELD=") && tip.contains("CANCELLED="));
        QVERIFY(!W<QPushButton>("cmdInvia")->icon().isNull() && !W<QToolButton>("cmdViewLog")->icon().isNull());
        for (QPushButton* b : w.findChildren<QPushButton*>()) // Enter in a field presses nothing
            QVERIFY(!b->autoDefault() && !b->isDefault());
        QVERIFY(e->timer1.IsActive() && e->timer2.IsActive() && e->timer1.Interval() == 1000 && e->timer2.Interval() == 3000);
        // Long enough counts and a gateway address, so both counters show their widest text.
        W("txtTo")->setText("3471234567@" + kGateway);
        W("txtSubject")->setText("Cena");
        W<QPlainTextEdit>("txtTesto")->setPlainText(QString(1234, 'x'));
        w.cmdInvia_Click();
        W<QPlainTextEdit>("txtTesto")->setPlainText("Ci vediamo alle otto?");
        CheckCaptionsFit(&w);
        QVERIFY(w.grab().save(QCoreApplication::applicationDirPath() + "/screenshot_frmMain.png"));
    }

    // "Invia" checks server, sender, address and text in this order; the first that fails shows
    // its box and changes nothing. A server counts as set with a dot in its name, or as a local
    // relay's address literal or localhost, with or without a port. An address that could put
    // ESMTP parameters on the envelope is refused with its reason.
    void invia_data()
    {
        QTest::addColumn<QString>("set"); // "key=value" over the configured settings; "-": none at all
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("said"); // the boxes shown, "(!)" for the exclamation icon; none: queued
        const QString to = "x@example.invalid", noServer = "Configurare SMTP! (!)";
        for (const char* set : {"smtp.example.it", "[2001:db8::5]:2525", "LocalHost:2525"})
            QTest::addRow("server %s", set) << QString("SMTP=") + set << to << "ciao" << "";
        for (const char* unset : {"mailhost:25", "[::1", "[]", "localhostx"})
            QTest::addRow("no server: '%s'", unset) << QString("SMTP=") + unset << to << "ciao" << noServer;
        QTest::newRow("first start, every field empty") << "-" << "" << "" << noServer;
        QTest::newRow("no @ in From, nor address nor text") << "From=me" << "" << "   " << "Configurare mittente! (!)";
        QTest::newRow("33 is no mobile number, no text") << "" << "3312345678" << "   " << "indirizzo non valido";
        QTest::newRow("a mobile number is an address before the click") << "" << " 3471234567 " << "   " << "e il testo? (!)";
        QTest::newRow("a text of one line break") << "" << to << "\n" << "";
        QTest::newRow("parameters after >") << "" << "anna@example.org> NOTIFY=SUCCESS ORCPT=rfc822;spy@example.net" << "ciao"
                                           << "indirizzo non valido: contiene i caratteri < o >";
        QTest::newRow("sender with a tab") << "From=me@example.invalid\tx" << to << "ciao"
                                           << "Configurare mittente! L'indirizzo del mittente contiene caratteri di controllo. (!)";
    }
    void invia()
    {
        QFETCH(QString, set);
        QFETCH(QString, to);
        QFETCH(QString, text);
        if (set != "-")
            Configure();
        if (set.contains('='))
            Set(set.section('=', 0, 0), set.section('=', 1));
        Show();
        if (set == "-")
            QCOMPARE(Label("lblSMTP") + "|" + Label("lblFrom"), "Smtp: |From: <>");
        Type("txtTesto", text);
        Type("txtTo", to);
        Click("cmdInvia"); // straight from txtTo: its rule has run first
        QTEST(Said().join('|'), "said");
        QCOMPARE(Queued() + OutboxFiles() + W<QListWidget>("lstLog")->count(), Said().isEmpty() ? 3 : 0);
        QCOMPARE(Text("txtTesto"), Said().isEmpty() ? QString() : text); // kept after a refusal
    }

    // Leaving txtTo trims it and turns a bare mobile number (34 and eight digits) into the gateway's
    // address; the SMS counter shows for a gateway address only, and goes below zero.
    void counters_data()
    {
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("length"); // of the text, after the name "Anna"
        QTest::addColumn<QString>("shown"); // txtTo after leaving it, the counters, "SMS" when that one shows
        const QString mobile = "3471234567@" + kGateway + "|Caratteri: ";
        QTest::newRow("blanks around it") << "  3471234567 " << 1 << mobile + "1|SMS caratt.disp.: 148|SMS";
        QTest::newRow("at its negative end") << "3471234567" << 156 << mobile + "156|SMS caratt.disp.: -7|SMS";
        QTest::newRow("33 typed with the gateway") << "3312345678@" + kGateway << 0
                                                   << "3312345678@" + kGateway + "|Caratteri: 0|SMS caratt.disp.: 149|SMS";
        QTest::newRow("+39 prefix") << "+393471234567" << 0 << "+393471234567|Caratteri: 0|SMS caratt.disp.: 149";
        QTest::newRow("blank inside") << " 347 1234567 " << 0 << "347 1234567|Caratteri: 0|SMS caratt.disp.: 149";
    }
    void counters()
    {
        QFETCH(QString, to);
        QFETCH(int, length);
        Configure();
        Show();
        Type("txtTesto", QString(length, 't'));
        Type("txtTo", to);
        Keys(Qt::Key_Tab);
        QTEST(W("txtTo")->text() + "|" + Counters() + (W<QLabel>("lblCharsRemain")->isVisible() ? "|SMS" : ""), "shown");
    }

    // A person's route by keyboard through a window with an address book: Tab into a field selects
    // its text, so typing replaces it; Tab passes the list without choosing an entry, so the typed
    // recipient gets the message, and "Elimina" deletes only what was selected. Then what "Invia"
    // leaves in the fields, and "Last".
    void composer()
    {
        Configure();
        Book("Mario,mario@example.invalid\r\nGio,gio@example.invalid\r\n");
        Show();
        Type("txtSubject", "vecchio");
        Click("cmdLast"); // nothing sent yet: subject and text are emptied
        QCOMPARE(W("txtSubject")->text(), QString());
        W("txtTo")->setText("old@example.invalid");
        W("txtName")->setFocus(Qt::TabFocusReason);
        Keys(Qt::Key_Tab);
        QTest::keyClicks(Focus(), "Bea");
        Keys(Qt::Key_Tab);
        QCOMPARE(W("txtTo")->selectedText(), "old@example.invalid");
        // Past "Aggiungi a rubrica", "View all", "Clear" and "Last" to the subject and the text.
        for (const char* typed : {"3471234567", "", "", "", "", "Cena", "alle otto"}) {
            QTest::keyClicks(Focus(), typed);
            Keys(Qt::Key_Tab);
        }
        // Past the list, with a current row but nothing chosen, to "Elimina", and on to "Invia".
        Keys(Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Space, Qt::Key_Tab, Qt::Key_Space);
        const auto first = Message(0);
        QVERIFY(first && first->mailTimeCreated == e->clock.Now() && W<QListWidget>("lstRubrica")->count() == 2);
        QCOMPARE(QStringList({first->mailTo, first->mailToNick, first->mailFrom, first->mailFromName, first->mailSubject, first->mailText}),
                 QStringList({"3471234567@" + kGateway, "Bea", "me@example.invalid", "Anna", "Cena", "alle otto"}));
        QCOMPARE(W("txtSubject")->text() + Text("txtTesto") + W("txtTo")->text() + "|" + Counters(),
                 "3471234567@" + kGateway + "|Caratteri: 0|SMS caratt.disp.: 149");
        // Into the status list; Delete there calls nothing back: no line was chosen.
        Keys(Qt::Key_Tab, Qt::Key_Delete);
        QCOMPARE(Focus()->objectName(), "lstLog");
        QCOMPARE(Queued(), 1);
        Click("cmdLast");
        QCOMPARE(W("txtSubject")->text() + "|" + Text("txtTesto") + "|" + Counters(), "Cena|alle otto|Caratteri: 9|SMS caratt.disp.: 136");
        // No subject; no-break spaces and line separators stay, a paragraph break is a line break.
        const QString typed = QString("a") + QChar(QChar::Nbsp) + "b" + QChar(QChar::LineSeparator) + "c\nd";
        Type("txtSubject", "");
        Type("txtTesto", typed);
        Type("txtTo", "x@example.invalid");
        Click("cmdInvia");
        QCOMPARE(Message(1)->mailSubject + "|" + Message(1)->mailText, "|" + typed);
    }

    // Entries load with their blanks and sort by character codes, capitals first; choosing one
    // fills the recipient as it stands; "Aggiungi a rubrica" needs both fields and refuses what
    // the file could not read back; "Elimina" deletes the chosen entry once; the exit saves, trimmed.
    void addressBook()
    {
        Configure();
        Book("B,b@x\r\nMario , 3471234567\r\na,a@x\r\nA,A@x\r\nGio,3471234567@sms.example.invalid\r\n");
        app::frmMain& w = Show();
        auto* list = W<QListWidget>("lstRubrica");
        Click("cmdSort"); // capitals first
        QCOMPARE(Rows(list), QStringList({"A\tA@x", "B\tb@x", "Gio\t3471234567@" + kGateway, "Mario \t 3471234567", "a\ta@x"}));
        QCOMPARE(W("txtTo")->text(), QString()); // sorting selects nothing
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(3)).center());
        QCOMPARE(W("txtNick")->text() + "|" + W("txtTo")->text(), "Mario | 3471234567");
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(W("txtNick")->text(), "Gio");
        QVERIFY(W<QLabel>("lblCharsRemain")->isVisible()); // the counters follow the choice
        QTest::mouseClick(W("txtTo"), Qt::LeftButton, {}, QPoint(4, 4)); // a click into a field selects it whole
        QTRY_COMPARE(W("txtTo")->selectedText(), "3471234567@" + kGateway);

        // Both fields are needed; a comma the file could not read back is refused, and told; the
        // same entry twice is allowed.
        const char* const m = "m@example.invalid";
        for (const auto& [nick, to] : {std::pair("", "e@x"), std::pair("Emma", ""), std::pair("Rossi, Mario", m),
                                       std::pair("  Bea ", m), std::pair("  Bea ", m)}) {
            Type("txtNick", nick);
            Type("txtTo", to);
            Click("cmdSalva");
        }
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        Click("cmdElimina");
        Click("cmdElimina"); // nothing is selected any more: the neighbour stays
        QVERIFY(w.close());
        QFile file(e->dir.filePath("rubrica.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "A,A@x\r\nGio,3471234567@sms.example.invalid\r\nMario,3471234567\r\na,a@x\r\n"
                                 "Bea,m@example.invalid\r\nBea,m@example.invalid\r\n");
        QVERIFY(Said().size() == 1 && Said()[0].contains("virgole"));

        // A folder in the file's place: unreadable at start (told, and no save over it), or the
        // save at exit fails (told, with the path).
        const QString path = file.fileName();
        for (bool atStart : {true, false}) {
            e->dialogs.shown.clear();
            QFile::remove(path); // the book saved before
            QVERIFY(!atStart || QDir().mkdir(path));
            Show();
            QVERIFY(atStart || (QFile::remove(path) && QDir().mkdir(path)));
            QVERIFY(e->w->close());
            QVERIFY(e->dialogs.shown.size() == 1 && e->dialogs.shown[0].text.contains(path));
            QVERIFY(QFileInfo(path).isDir() && QDir().rmdir(path));
        }
    }

    // No keeps the window and sending resumes; Yes discards the message, on disk too; "Invia al
    // prossimo avvio" leaves it in the outbox for the next start.
    void exitQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("after"); // the window, and after a last tick: connects, records queued, files kept
        using A = platform::IDialogs::Answer;
        QTest::newRow("No") << int(A::No) << "shown 1, exit 0, 1 connects, 0 queued, 1 files";
        QTest::newRow("Yes") << int(A::Yes) << "shown 0, exit 1, 0 connects, 0 queued, 0 files";
        QTest::newRow("Invia al prossimo avvio") << int(A::Third) << "shown 0, exit 1, 0 connects, 1 queued, 1 files";
    }
    void exitQuestion()
    {
        QFETCH(int, answer);
        Configure();
        app::frmMain& w = Show();
        QueueOne("in coda");
        e->clock.AdvanceSeconds(31);
        bool pendingWhileAsked = false;
        e->dialogs.onAsk = [&] {
            pendingWhileAsked = w.dispatcher().exitPending;
            e->timer1.Fire(); // the timer keeps ticking while the question is open
        };
        e->dialogs.choices.enqueue(platform::IDialogs::Answer(answer));
        W<QAction>("mnuExit")->trigger();
        QCOMPARE(Said(), QStringList{"Ci sono dei messaggi accodati. Vuoi uscire senza inviarli?"});
        QVERIFY(e->dialogs.shown[0].question && pendingWhileAsked && e->ws.connects == 0);
        const QString window = QString("shown %1, exit %2, ").arg(w.isVisible()).arg(w.dispatcher().exitPending);
        e->timer1.Fire();
        QTEST(window + QString("%1 connects, %2 queued, %3 files").arg(e->ws.connects).arg(Queued()).arg(OutboxFiles()), "after");
    }

    // A setting the program cannot use holds the waiting messages (the rules are the outbox's);
    // the window's two ways out: "Riprova ora" in the context menu, reached by the keyboard, sends
    // one; OK in the configuration dialog lets the others go. "Clear" keeps the lines while a
    // record waits, and the session shows in lblDoing. Delete on a QUEUED or RETRY line, or
    // "Annulla invio" in its context menu, calls the message back: it is never sent; the one in
    // session cannot be, and a box says so. "View all" opens the log, made empty before anything
    // is sent. With only a session running the exit asks nothing and saves.
    void statusList()
    {
        Configure();
        Set("Security", "ssl");
        app::frmMain& w = Show();
        const QString path = e->dir.filePath("log.txt");
        Click("cmdViewLog");
        QVERIFY(QFile::exists(path) && e->desktop.opened == QStringList{path});
        e->desktop.result = false;
        Click("cmdViewLog");
        Type("txtNick", "Bea");
        QueueOne("uno");
        QueueOne("due");
        auto* log = W<QListWidget>("lstLog");
        e->clock.AdvanceSeconds(31);
        e->timer1.Fire();
        const QString bea = " - Bea x@example.invalid -  ";
        QCOMPARE(Rows(log).mid(1), QStringList({"HELD" + bea + "uno", "HELD" + bea + "due"}));
        w.Settings().Security = "none"; // mended
        IntoLog(2);
        LogMenu("mnuRiprovaOra", "Riprova ora");
        QCOMPARE(Rows(log)[2], "QUEUED" + bea + "due");
        OpenConfiguration();
        W("txtSMTP")->setText("altro.example.invalid"); // and the window shows it
        ConfirmToMain();
        QCOMPARE(Rows(log)[1] + "|" + Label("lblSMTP"), "QUEUED" + bea + "uno|Smtp: altro.example.invalid");

        QueueOne("tre");
        Click("cmdClear");
        QCOMPARE(log->count(), 4);
        e->timer1.Fire(); // "due", retried first, in session
        QCOMPARE(Label("lblDoing"), "[1] Sending to Bea");
        e->ws.Fail("Connection refused"); // and back for a retry in a minute, under an ERR line on top
        QCOMPARE(Label("lblDoing"), "");
        e->timer1.Fire(); // "uno" in session
        // By keyboard: Tab into the list, down to the one in session, Delete; the RETRY line, Delete.
        IntoLog(2);
        Keys(Qt::Key_Delete, Qt::Key_Down, Qt::Key_Delete, Qt::Key_Down);
        LogMenu("mnuAnnullaInvio", "Annulla invio");
        QCOMPARE(Rows(log).mid(2) << Rows(log)[0], QStringList({"QUEUED" + bea + "uno", "CANCELLED" + bea + "due",
                                                              "CANCELLED" + bea + "tre", "ERR - Connection refused"}));
        log->setCurrentRow(3); // no longer waiting: nothing happens
        Keys(Qt::Key_Delete);
        for (const QByteArray& reply : ScriptedSmtpServer::GoodReplies()) // "uno" delivered on the fake socket
            e->ws.Reply(reply);
        Click("cmdClear"); // nothing waits now
        QCOMPARE(log->count(), 0);
        QueueOne("quattro"); // in session when the window closes: it no longer waits, so nothing is asked
        e->clock.AdvanceSeconds(31);
        e->timer1.Fire();
        QVERIFY(!w.dispatcher().exitPending && Label("lblDoing").startsWith("[1]") && Queued() == 0);
        QVERIFY(w.close());
        QCOMPARE(Said(), QStringList({"Impossibile aprire l'elenco dei messaggi inviati:\n" + path + " (!)",
                                      "Il messaggio è già in fase di invio e non può più essere annullato."}));
        QCOMPARE(e->store.values.value("Brevilo/Address/SMTP"), "altro.example.invalid");
    }

    // The configuration dialog: Annulla keeps nothing typed; OK applies the rules of the fields,
    // also to the one the focus is still in. "Server e account…" comes last in the focus order;
    // what is set there applies only with the configuration's OK, the password going to the
    // secret store.
    void options()
    {
        Configure();
        Show();
        settings::ModMain& s = e->w->Settings();
        s.NewsDest = {"a@example.org", "", " 3312345678 "};
        s.SerieA = s.PallavoloA1_parziali = s.TuttiGol = true;
        const settings::ModMain start = s;
        OpenConfiguration();
        QVERIFY(root->windowTitle() == "Configurazione" && root->minimumSize() == root->maximumSize());
        CheckCaptionsFit(root);
        QVERIFY(root->grab().save(QCoreApplication::applicationDirPath() + "/screenshot_frmOptions.png"));
        W("txtSMTP")->setFocus(Qt::TabFocusReason);
        QStringList cycle{"txtSMTP"};
        for (int i = 0; i < 16; ++i, cycle.append(Focus()->objectName()))
            Keys(Qt::Key_Tab);
        QCOMPARE(cycle, QStringList({"txtSMTP", "txtFrom", "txtTempoAttesa", "chkSerieA", "chkSerieB", "chkTuttiGol",
                                     "chkPallavoloA1_finali", "chkPallavoloA1_parziali", "txtPallavoloDettaglio", "chkNotizie",
                                     "txtDest0", "txtDest1", "txtDest2", "cmdOk", "cmdAnnulla", "cmdAccount", "txtSMTP"}));
        // Loading keeps "11"; unchecking parziali keeps finali; parziali checks finali; unchecking
        // finali unchecks parziali.
        QStringList states;
        for (const char* box : {"", "parziali", "finali", "parziali", "finali", "finali"}) {
            if (*box)
                Tick(QString("chkPallavoloA1_") + box);
            states.append(QString::number(W<QCheckBox>("chkPallavoloA1_finali")->isChecked()) +
                          QString::number(W<QCheckBox>("chkPallavoloA1_parziali")->isChecked()));
        }
        QCOMPARE(states, QStringList({"11", "10", "00", "11", "00", "10"}));

        Account();
        for (const char* name : {"txtSMTP", "txtTempoAttesa", "txtPallavoloDettaglio", "txtDest2"})
            Type(name, "3498765432");
        Click("cmdAnnulla");
        QTRY_VERIFY(!root->isVisible());
        QCOMPARE(Fields(s) << e->secrets.entries.keys().join(' '), Fields(start) << "");
        OpenConfiguration(); // what was typed is gone: txtDest2, not typed again, gives the start's number
        Account();
        Type("txtSMTP", " mail.example.net ");
        Type("txtFrom", "x");
        Type("txtTempoAttesa", "7.5");
        Type("txtPallavoloDettaglio", "*");
        Tick("chkSerieA");
        Tick("chkNotizie");
        Type("txtDest1", " 341234567 ");
        QTest::keyClick(W("txtDest1"), Qt::Key_Tab); // the focus is never kept
        QCOMPARE(Focus(), W("txtDest2"));
        QCOMPARE(W("txtDest1")->text(), "341234567");
        QTest::mouseClick(W("txtDest0"), Qt::LeftButton, {}, QPoint(4, 4)); // selects it whole
        QTRY_COMPARE(W("txtDest0")->selectedText(), "a@example.org");
        QTest::keyClicks(W("txtDest0"), " 3412345678 ");
        QTest::keyClick(W("txtDest0"), Qt::Key_Enter); // OK, but txtDest0 is not left: its rule must still apply
        QTRY_VERIFY(!root->isVisible());
        QCOMPARE(Fields(s) << e->secrets.entries.value("anna@mail.example.net"),
                 QStringList({" mail.example.net ", "x", "8", "3412345678@" + kGateway, "341234567", "3312345678", "*", "001111",
                              "starttls", "anna", "sms.operator.example", "segreto"}));
    }
    // The real password dialog and certificate question: titled "Brevilo", the focus in the
    // password field, Enter answers; without a store the box is off and the dialog says why;
    // the certificate question answers No to Enter.
    void passwordDialogAndTrustQuestion()
    {
        QWidget parent;
        parent.show();
        platform::QtDialogs dialogs(&parent);
        QList<platform::IDialogs::PasswordAnswer> answers;
        for (bool store : {true, false}) {
            dialogs.AskPassword("anna", "smtp.example.org", store, [&](platform::IDialogs::PasswordAnswer a) { answers.append(a); });
            QPointer<QDialog> box = parent.findChild<QDialog*>("dlgPassword");
            QVERIFY(box && QTest::qWaitForWindowActive(box));
            const QString asked = box->findChild<QLabel*>("lblPassword")->text();
            QVERIFY(box->windowTitle() == "Brevilo" && asked.contains("anna") && asked.contains("smtp.example.org"));
            QTRY_COMPARE(Focus()->objectName(), "txtPassword");
            auto* remember = box->findChild<QCheckBox*>("chkRicorda");
            QCOMPARE(QString("%1 %2 %3 %4").arg(remember->text()).arg(remember->isChecked()).arg(remember->isEnabled())
                         .arg(box->findChild<QLabel*>("lblNoStore") != nullptr),
                     store ? "Ricorda la password 1 1 0" : "Ricorda la password 0 0 1");
            // A pasted NUL is refused: Return does nothing until it is gone.
            qobject_cast<QLineEdit*>(Focus())->insert(QString("p") + QChar(0) + "w");
            Keys(Qt::Key_Return);
            QVERIFY(box && box->findChild<QLabel*>("lblNul")->isVisible() && answers.size() == (store ? 0 : 1));
            QTest::keyClick(Focus(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(Focus(), "pw");
            QVERIFY(!box->findChild<QLabel*>("lblNul")->isVisible());
            Keys(store ? Qt::Key_Return : Qt::Key_Escape);
            QTRY_COMPARE(answers.size(), store ? 1 : 2);
            QTRY_VERIFY(box.isNull()); // closed for good
        }
        QVERIFY(answers[0].answered && answers[0].password == "pw" && answers[0].remember);
        QVERIFY(!answers[1].answered && answers[1].password.isEmpty());

        QList<bool> trusted;
        dialogs.AskTrust("Fidarsi di questo certificato?", [&](bool yes) { trusted.append(yes); });
        auto* question = parent.findChild<QMessageBox*>("msgTrust");
        QVERIFY(question && QTest::qWaitForWindowActive(question));
        QCOMPARE(question->windowTitle() + "|" + question->defaultButton()->text(), "Brevilo|" + question->button(QMessageBox::No)->text());
        QTest::keyClick(question, Qt::Key_Return);
        QTRY_COMPARE(trusted, QList<bool>{false});
    }

    // OAuth through the windows, by keyboard: "Altro (OAuth 2.0)" with its fields and "Accedi ora"
    // in "Server e account…", which signs in at once; then a typed message goes without the
    // browser. A user not signed in gets the sign-in window, and Esc there holds the message.
    void signInThroughTheWindows()
    {
        QTemporaryDir saved;
        OAuthServer server;
        QVERIFY(server.Start(saved.path()));
        Configure({"SMTP", server.Setting("both"), "From", "anna@example.invalid", "TempoAttesa", "0", "Security", "starttls",
                   "CaFile", server.CaFile()});
        Show(true);
        OpenConfiguration();
        OpenAccount();
        Keys(Qt::Key_Tab);
        QTest::keyClicks(Focus(), OAuthServer::kUser);
        Keys(Qt::Key_Tab, Qt::Key_Tab, Qt::Key_Tab); // past password and gateway
        QVERIFY(Focus() == W<QWidget>("cboAuth") && !W<QPushButton>("cmdAccedi")->isEnabled()); // nothing to sign in with yet
        Keys(Qt::Key_Down, Qt::Key_Down, Qt::Key_Down); // "Altro (OAuth 2.0)"
        for (const QString& typed : {QString(OAuthServer::kClientId), QString(), server.Url("authorize"), server.Url("token"),
                                     QString("smtp offline_access")}) {
            Keys(Qt::Key_Tab);
            QTest::keyClicks(Focus(), typed);
        }
        Keys(Qt::Key_Tab, Qt::Key_Space); // "Accedi ora"
        QTRY_COMPARE_WITH_TIMEOUT(Label("lblOAuth"), "Accesso riuscito", 20000);
        // The sign-in window has come and gone over the dialog, which takes the keyboard again.
        QVERIFY(e->browser.opened.size() == 1 && !e->w->findChild<QDialog*>("frmSignIn")->isVisible());
        root->activateWindow();
        QTRY_VERIFY(Focus() && Focus()->window() == root);
        CloseAccount();
        ConfirmToMain();
        QueueOne("col token");
        auto* log = W<QListWidget>("lstLog");
        QTRY_VERIFY_WITH_TIMEOUT(log->item(0)->text().startsWith("OK - "), 20000);
        QVERIFY(e->browser.opened.size() == 1 && e->secrets.entries.size() == 1);

        // Another user at the same server has not signed in: the window names the account.
        QVERIFY(server.Control("authorize", "ignore"));
        e->w->Settings().User = "bea@example.invalid";
        QueueOne("trattenuto");
        QPointer<QDialog> signIn;
        QTRY_VERIFY_WITH_TIMEOUT((signIn = e->w->findChild<QDialog*>("frmSignIn")) && signIn->isVisible(), 20000);
        QVERIFY(signIn->windowTitle() == "Brevilo" && signIn->findChild<QLabel*>("lblAccount")->text().contains("bea@example.invalid"));
        QTRY_COMPARE(Focus(), signIn->findChild<QWidget*>("cmdAnnulla"));
        Keys(Qt::Key_Escape);
        QTRY_VERIFY(log->item(log->count() - 1)->text().startsWith("HELD - ")); // the reason's wording is the token code's
        QVERIFY(!signIn->isVisible() && Queued() == 1);
    }

    // The real route to the browser: xdg-open, here a script on PATH that keeps what it was given.
    void browserThroughXdgOpen()
    {
        QTemporaryDir bin;
        QFile script(bin.filePath("xdg-open"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nprintf %s \"$1\" > \"$0.part\" && mv \"$0.part\" \"$0.url\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ":" + path);
        qunsetenv("BROWSER");
        const QUrl url("http://127.0.0.1:9/authorize?state=a b&redirect_uri=http://127.0.0.1:8/cb");
        QVERIFY(platform::QtBrowser().OpenUrl(url));
        QFile opened(script.fileName() + ".url");
        QTRY_VERIFY(opened.exists());
        qputenv("PATH", path);
        QVERIFY(opened.open(QIODevice::ReadOnly));
        QCOMPARE(opened.readAll(), url.toEncoded());
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
