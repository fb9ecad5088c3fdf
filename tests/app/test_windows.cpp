// The main window and the configuration dialog driven as a person would: typing, Tab and clicks,
// on fakes and a temporary data folder; and once on the real clock and socket against a real
// SMTP server on the loopback.
#include "ExternalServer.h"
#include "FakeHttpClient.h"
#include "FakeTcpSocket.h"
#include "ScriptedSmtpServer.h"
#include "Fakes.h"
#include "OAuthServer.h"
#include "app/frmMain.h"
#include "app/frmOptions.h"
#include "mail/Dispatcher.h"
#include "mail/OAuthTokens.h"
#include "mail/Outbox.h"
#include "mail/Passwords.h"
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

// The dialog's variables, in a form QCOMPARE can show.
QStringList Fields(const settings::ModMain& m)
{
    QString flags;
    for (bool b : {m.SerieA, m.SerieB, m.PallavoloA1_finali, m.PallavoloA1_parziali, m.Notizie, m.TuttiGol})
        flags += QLatin1Char(b ? '1' : '0');
    return {m.SMTP, m.From, QString::number(m.TempoAttesa), m.NewsDest[0], m.NewsDest[1], m.NewsDest[2],
            m.PallavoloDettaglio, flags};
}

QStringList Rows(const QListWidget* list)
{
    QStringList rows;
    for (int i = 0; i < list->count(); ++i)
        rows.append(list->item(i)->text());
    return rows;
}

QStringList FocusCycle(QWidget* start, int steps)
{
    start->setFocus(Qt::TabFocusReason);
    QStringList seen{start->objectName()};
    for (int i = 0; i < steps; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        seen.append(QApplication::focusWidget()->objectName());
    }
    return seen;
}

QByteArray ReadMaps(qint64 pid)
{
    QFile maps(QString("/proc/%1/maps").arg(pid));
    return maps.open(QIODevice::ReadOnly) ? maps.readAll() : QByteArray();
}

// No caption of a label or check box is cut.
void CheckCaptionsFit(const QWidget* root)
{
    for (const QLabel* l : root->findChildren<QLabel*>()) {
        const int needed = l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().height();
        QVERIFY2(l->text().isEmpty() || (needed <= l->height() + 1 && (l->wordWrap() || l->sizeHint().width() <= l->width())),
                 qPrintable(l->objectName()));
    }
    for (const QCheckBox* b : root->findChildren<QCheckBox*>())
        QVERIFY2(b->sizeHint().width() <= b->width(), qPrintable(b->objectName()));
}
} // namespace

class TestWindows : public QObject {
    Q_OBJECT
    std::unique_ptr<Env> e;
    settings::ModMain settings; // the dialog's
    std::unique_ptr<app::frmOptions> dlg;
    QWidget* root = nullptr; // the window whose controls W finds

    void Set(const char* key, const QString& value)
    {
        e->store.values.insert(MemorySettingsStore::Key("Brevilo", "Address", key), value);
    }
    void Configure() // the store's gateway takes the place of the built-in one
    {
        Set("SMTP", "mail.example.invalid");
        Set("From", "me@example.invalid");
        Set("Name", "Anna");
        Set("SmsGateway", kGateway);
    }
    void Book(const QByteArray& bytes)
    {
        QFile file(e->dir.filePath("rubrica.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    app::frmMain& Show(bool realPeers = false) // the real clock, socket and timers, or fakes
    {
        app::frmMainDeps d;
        d.store = &e->store, d.dialogs = &e->dialogs, d.desktop = &e->desktop, d.inet1 = &e->inet1;
        if (!realPeers)
            d.clock = &e->clock, d.ws = &e->ws, d.timer1 = &e->timer1, d.timer2 = &e->timer2;
        d.replyTimer = realPeers ? nullptr : &e->replyTimer, d.dataDirectory = e->dir.path();
        d.outboxDirectory = e->dir.filePath("outbox");
        d.browser = &e->browser, d.signInTimer = &e->signInTimer;
        if (realPeers)
            d.secrets = &e->secrets;
        e->w = std::make_unique<app::frmMain>(d);
        root = e->w.get();
        e->w->show();
        e->w->activateWindow();
        if (!QTest::qWaitForWindowActive(e->w.get()))
            qWarning("window not active");
        return *e->w;
    }
    void Options(const settings::ModMain& s)
    {
        settings = s;
        if (!dlg)
            dlg = std::make_unique<app::frmOptions>(settings);
        root = dlg.get();
        dlg->ShowModal();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    }
    template <class T = QLineEdit>
    T* W(const char* name)
    {
        T* found = root->findChild<T*>(name);
        return found ? found : (qFatal("no control %s", name), nullptr);
    }
    // Clicks into the field first, so that leaving it later is a real focus change; replaces its text.
    void Type(const char* name, const QString& text, bool enter = false)
    {
        QWidget* field = W<QWidget>(name);
        QTest::mouseClick(field, Qt::LeftButton);
        QTRY_VERIFY(field->hasFocus());
        QMetaObject::invokeMethod(field, "selectAll");
        QTest::keyClick(field, Qt::Key_Backspace);
        QTest::keyClicks(field, text);
        if (enter)
            QTest::keyClick(field, Qt::Key_Return);
    }
    void Click(const char* name) { QTest::mouseClick(W<QAbstractButton>(name), Qt::LeftButton); }
    void Tick(const QString& name) { QTest::mouseClick(W<QCheckBox>(qPrintable(name)), Qt::LeftButton, {}, QPoint(6, 6)); }
    QString Text(const char* name) { return W<QPlainTextEdit>(name)->toPlainText(); }
    QString Label(const char* name) { return W<QLabel>(name)->text(); }
    QString Counters() { return Label("lblCharCount") + "|" + Label("lblCharsRemain"); }
    int Queued() { return e->w->outbox().mailQueue().Count(); }
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

private Q_SLOTS:
    void init() { e = std::make_unique<Env>(); }
    void cleanup() { dlg.reset(), e.reset(); }

    // Both windows are also rendered to PNG files in the build folder, for a person to look at.
    void layoutAndScreenshots()
    {
        Configure();
        Book("Mario,3471234567\r\nGiovanna Bianchi,giovanna@example.invalid\r\n");
        app::frmMain& w = Show();
        QCOMPARE(QString("%1|%2x%3|fixed %4").arg(w.windowTitle()).arg(w.centralWidget()->width())
                     .arg(w.centralWidget()->height()).arg(int(w.minimumSize() == w.maximumSize())),
                 "Send mail|616x455|fixed 1");
        const QString tip = W<QWidget>("lstLog")->toolTip(); // every prefix a line can show
        QVERIFY2(tip.startsWith("Ultimi messaggi inviati, QUEUED=in coda  OK=inviato  ERR=errore\n") && tip.contains("RETRY hh:mm=")
                     && tip.contains("HELD=") && tip.contains("CANCELLED="), qPrintable(tip));
        QVERIFY(!W<QPushButton>("cmdInvia")->icon().isNull() && !W<QToolButton>("cmdViewLog")->icon().isNull());
        for (QPushButton* b : w.findChildren<QPushButton*>()) // Enter in a field presses nothing
            QVERIFY2(!b->autoDefault() && !b->isDefault(), qPrintable(b->objectName()));
        QVERIFY(e->timer1.IsActive() && e->timer1.Interval() == 1000);
        QVERIFY(e->timer2.IsActive() && e->timer2.Interval() == 3000);
        // Tab leaves the text box instead of typing into it.
        QCOMPARE(FocusCycle(W("txtSubject"), 14),
                 QStringList({"txtSubject", "txtTesto", "lstRubrica", "cmdSort", "cmdElimina", "cmdInvia",
                              "lstLog", "txtName", "txtNick", "txtTo", "cmdSalva", "cmdViewLog", "cmdClear",
                              "cmdLast", "txtSubject"}));
        // Long enough counts and a gateway address, so both counters show their widest text.
        W("txtTo")->setText("3471234567@" + kGateway);
        W("txtSubject")->setText("Cena");
        W<QPlainTextEdit>("txtTesto")->setPlainText(QString(1234, 'x'));
        w.cmdInvia_Click();
        W<QPlainTextEdit>("txtTesto")->setPlainText("Ci vediamo alle otto?");
        CheckCaptionsFit(&w);
        const QString folder = QCoreApplication::applicationDirPath();
        QVERIFY(w.grab().save(folder + "/screenshot_frmMain.png"));

        w.mnuConfigure_Click(); // the dialog as the menu opens it
        auto* options = w.findChild<app::frmOptions*>();
        QVERIFY(options && QTest::qWaitForWindowExposed(options));
        QVERIFY(options->grab().save(folder + "/screenshot_frmOptions.png"));
        options->findChild<QLineEdit*>("txtSMTP")->setText("altro.example.invalid"); // OK shows it here
        QTest::mouseClick(options->findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
        QCOMPARE(Label("lblSMTP") + Label("lblFrom"), "Smtp: altro.example.invalidFrom: <me@example.invalid>");
    }

    // "Invia" takes a server with a dot in its name, and a local relay's address literal or
    // localhost, with or without a port; anything else asks for the server first.
    void serverCountsAsSet_data()
    {
        QTest::addColumn<QString>("smtp");
        QTest::addColumn<bool>("set");
        for (const char* set : {"smtp.example.it", "smtp.example.it:587", "[::1]:2525", "[2001:db8::5]", "[127.0.0.1]",
                                "localhost", "LocalHost:2525"})
            QTest::newRow(set) << set << true;
        for (const char* unset : {"", "mailhost", "mailhost:25", "[::1", "[]", "localhostx"})
            QTest::addRow("not set: '%s'", unset) << unset << false;
    }
    void serverCountsAsSet()
    {
        QFETCH(QString, smtp);
        QFETCH(bool, set);
        Configure();
        Set("SMTP", smtp);
        Show();
        QueueOne("ciao");
        QCOMPARE(Said(), set ? QStringList() : QStringList{"Configurare SMTP! (!)"});
        QCOMPARE(Queued(), set ? 1 : 0);
    }

    void composer()
    {
        Configure();
        app::frmMain& w = Show();
        Type("txtSubject", "vecchio");
        Click("cmdLast"); // nothing sent yet: subject and text are emptied
        QCOMPARE(W("txtSubject")->text(), QString());
        // The four checks in order: each click also fails every later check.
        Type("txtNick", "Bea");
        Type("txtSubject", "Cena");
        Type("txtTesto", "   ");
        w.Settings().SMTP = "mailhost";
        w.Settings().From = "me";
        Click("cmdInvia");
        w.Settings().SMTP = "mail.example.invalid";
        Click("cmdInvia");
        w.Settings().From = "me@example.invalid";
        Type("txtTo", "3312345678"); // 33: no mobile number for the rule
        Click("cmdInvia");
        Type("txtTo", "  3471234567 ");
        Click("cmdInvia"); // straight from txtTo: its rule has run, so the address check passes
        QCOMPARE(Said(), QStringList({"Configurare SMTP! (!)", "Configurare mittente! (!)", "indirizzo non valido",
                                      "e il testo? (!)"}));
        QCOMPARE(Queued() + W<QListWidget>("lstLog")->count(), 0);
        QCOMPARE(W("txtSubject")->text() + Text("txtTesto") + "|" + W("txtTo")->text(), "Cena   |3471234567@" + kGateway);

        Type("txtTesto", "alle otto");
        Click("cmdInvia");
        const auto first = w.outbox().mailQueue().Value(0).ObjectAs<mail::CMessaggio>();
        QVERIFY(first && first->mailTimeCreated == e->clock.Now());
        QCOMPARE(QStringList({first->mailTo, first->mailToNick, first->mailFrom, first->mailFromName}),
                 QStringList({"3471234567@" + kGateway, "Bea", "me@example.invalid", "Anna"}));
        QCOMPARE(W("txtSubject")->text() + Text("txtTesto") + W("txtTo")->text() + "|" + Counters(),
                 "3471234567@" + kGateway + "|Caratteri: 0|SMS caratt.disp.: 149");
        Click("cmdLast");
        QCOMPARE(W("txtSubject")->text() + "|" + Text("txtTesto") + "|" + Counters(),
                 "Cena|alle otto|Caratteri: 9|SMS caratt.disp.: 136");
        QVERIFY(W<QLabel>("lblCharsRemain")->isVisible());

        Type("txtSubject", "");
        Type("txtTesto", "", true); // an empty subject and a text of one line break go too
        Type("txtTo", " x@example.invalid"); // a plain address is only trimmed, and has no SMS counter
        Click("cmdInvia");
        QCOMPARE(Rows(W<QListWidget>("lstLog")),
                 QStringList({"QUEUED - Bea 3471234567@" + kGateway + " - Cena alle otto",
                              "QUEUED - Bea x@example.invalid -  \n"}));
        QVERIFY(!W<QLabel>("lblCharsRemain")->isVisible());
        QCOMPARE(Said().size(), 4);
    }

    void addressBook()
    {
        Configure();
        Book("B,b@x\r\nMario , 3471234567\r\na,a@x\r\nA,A@x\r\nGio,3471234567@sms.example.invalid\r\n");
        app::frmMain& w = Show();
        auto* list = W<QListWidget>("lstRubrica");
        Click("cmdSort");
        QCOMPARE(Rows(list), QStringList({"A\tA@x", "B\tb@x", "Gio\t3471234567@" + kGateway,
                                          "Mario \t 3471234567", "a\ta@x"}));
        QCOMPARE(W("txtTo")->text(), QString()); // sorting selects nothing
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(3)).center());
        QCOMPARE(W("txtNick")->text() + "|" + W("txtTo")->text(), "Mario | 3471234567");
        QVERIFY(!W<QLabel>("lblCharsRemain")->isVisible());
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(W("txtNick")->text(), "Gio");
        QVERIFY(W<QLabel>("lblCharsRemain")->isVisible());

        for (const auto& [nick, to] : {std::pair("", "e@x"), std::pair("Emma", "")}) { // both needed
            Type("txtNick", nick);
            Type("txtTo", to);
            Click("cmdSalva");
        }
        QCOMPARE(list->count(), 5);
        Type("txtNick", "Rossi, Mario"); // the file could not read it back: refused, and told
        Type("txtTo", "m@example.invalid");
        Click("cmdSalva");
        QCOMPARE(list->count(), 5);
        Type("txtNick", "  Bea ");
        Click("cmdSalva");
        Click("cmdSalva"); // twice: duplicates are allowed
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(1)).center());
        Click("cmdElimina");
        Click("cmdElimina"); // nothing is selected any more: the neighbour stays
        QVERIFY(w.close());
        QFile file(e->dir.filePath("rubrica.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), "A,A@x\r\nGio,3471234567@sms.example.invalid\r\nMario,3471234567\r\na,a@x\r\n"
                                 "Bea,m@example.invalid\r\nBea,m@example.invalid\r\n");
        QCOMPARE(e->store.values.value("Brevilo/Address/TempoAttesa"), "30"); // settings are saved at exit too
        QCOMPARE(Said().size(), 1);
        QVERIFY(Said()[0].contains("virgole"));
    }

    // A person's keyboard route through a window with an address book: Tab passes the list without
    // choosing an entry, so the typed recipient is the one that gets the message, and "Elimina"
    // deletes only what was selected; arrow keys in the list still pick an entry.
    void keyboardRouteKeepsTypedRecipient()
    {
        Configure();
        Book("Mario,mario@example.invalid\r\nGio,gio@example.invalid\r\n");
        app::frmMain& w = Show();
        auto* list = W<QListWidget>("lstRubrica");
        W("txtNick")->setFocus(Qt::TabFocusReason);
        auto typeAndTab = [](const QString& text) {
            QTest::keyClicks(QApplication::focusWidget(), text);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        };
        typeAndTab("Anna");
        typeAndTab("anna@example.invalid");
        QCOMPARE(QApplication::focusWidget()->objectName(), "cmdSalva");
        for (int i = 0; i < 4; ++i) // past "View all", "Clear" and "Last" to the subject
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), "txtSubject");
        typeAndTab("Cena");
        typeAndTab("alle otto");
        QCOMPARE(QApplication::focusWidget(), list); // a current row, but nothing chosen
        QTest::keyClick(list, Qt::Key_Tab);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), "cmdElimina");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), "cmdInvia");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QCOMPARE(Queued(), 1);
        const auto sent = w.outbox().mailQueue().Value(0).ObjectAs<mail::CMessaggio>();
        QCOMPARE(QStringList({sent->mailToNick, sent->mailTo, sent->mailText}),
                 QStringList({"Anna", "anna@example.invalid", "alle otto"}));
        QCOMPARE(list->count(), 2);
        // Tab on into the status list and Delete: its line was not chosen, so nothing is called back.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), "lstLog");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Delete);
        QCOMPARE(Queued(), 1);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);

        for (int i = 0; i < 3; ++i) // back into the list; Down chooses the next entry
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
        QCOMPARE(QApplication::focusWidget(), list);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(W("txtNick")->text() + "|" + W("txtTo")->text(), "Gio|gio@example.invalid");
        // Ctrl+click takes the choice back: "Elimina" then has nothing to delete.
        const QPoint row1 = list->visualItemRect(list->item(1)).center();
        QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::ControlModifier, row1);
        QVERIFY(list->selectedItems().isEmpty());
        Click("cmdElimina");
        QCOMPARE(Rows(list), QStringList({"Mario\tmario@example.invalid", "Gio\tgio@example.invalid"}));
    }

    // By keyboard, as a person does: an address that could put ESMTP parameters or a second
    // recipient on the envelope is refused with its reason, and nothing is queued.
    void unsafeAddressRefusedByKeyboard_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("said");
        QTest::newRow("parameters after >") << "me@example.invalid" << "anna@example.org> NOTIFY=SUCCESS ORCPT=rfc822;spy@example.net"
                                           << "indirizzo non valido: contiene i caratteri < o >";
        QTest::newRow("two @") << "me@example.invalid" << "anna@example.org@spy.example.net"
                               << "indirizzo non valido: contiene più di una @";
        QTest::newRow("blank inside") << "me@example.invalid" << "anna@exa mple.org" << "indirizzo non valido: contiene spazi";
        QTest::newRow("sender with a tab") << "me@example.invalid\tx" << "anna@example.org"
                                           << "Configurare mittente! L'indirizzo del mittente contiene caratteri di controllo. (!)";
    }
    void unsafeAddressRefusedByKeyboard()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        Configure();
        Set("From", from);
        Show();
        W("txtTo")->setFocus(Qt::TabFocusReason);
        QTest::keyClicks(QApplication::focusWidget(), to);
        for (int i = 0; i < 5; ++i) // past "Aggiungi a rubrica", "View all", "Clear" and "Last" to the subject
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), "Cena");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTest::keyClicks(QApplication::focusWidget(), "alle otto");
        for (int i = 0; i < 4; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget()->objectName(), "cmdInvia");
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTEST(Said().join('|'), "said");
        QCOMPARE(Queued() + OutboxFiles(), 0);
    }

    // The text goes out as typed: no-break spaces and line separators stay, paragraph breaks
    // become line breaks; a text of no-break spaces is not empty.
    void textGoesAsTyped()
    {
        Configure();
        app::frmMain& w = Show();
        Type("txtTo", "x@example.invalid");
        auto* testo = W<QPlainTextEdit>("txtTesto");
        const QString nbsp(1, QChar::Nbsp);
        auto typeNbsp = [&] { QTest::sendKeyEvent(QTest::Click, testo, Qt::Key_unknown, nbsp, Qt::NoModifier); };
        Type("txtTesto", "");
        typeNbsp(), typeNbsp();
        Click("cmdInvia");
        Type("txtTesto", "a");
        typeNbsp();
        QTest::keyClicks(testo, "b");
        QTest::keyClick(testo, Qt::Key_Return, Qt::ShiftModifier); // a line break within the paragraph
        QTest::keyClicks(testo, "c");
        QTest::keyClick(testo, Qt::Key_Return);
        QTest::keyClicks(testo, "d");
        Click("cmdInvia");
        QCOMPARE(Said(), QStringList());
        QCOMPARE(Queued(), 2);
        QCOMPARE(w.outbox().mailQueue().Value(0).ObjectAs<mail::CMessaggio>()->mailText, nbsp + nbsp);
        QCOMPARE(w.outbox().mailQueue().Value(1).ObjectAs<mail::CMessaggio>()->mailText,
                 "a" + nbsp + "b" + QChar(QChar::LineSeparator) + "c\nd");
    }

    // A folder in the file's place: unreadable at start (told, and no save over it), or the save
    // at exit fails (told, with the path).
    void unreadableAddressBookIsNotOverwritten()
    {
        const QString path = e->dir.filePath("rubrica.txt");
        for (bool atStart : {true, false}) {
            e->dialogs.shown.clear();
            QVERIFY(!atStart || QDir().mkdir(path));
            Show();
            QVERIFY(atStart || (QFile::remove(path) && QDir().mkdir(path)));
            Type("txtNick", "Mario");
            Type("txtTo", "mario@example.invalid");
            Click("cmdSalva");
            QVERIFY(e->w->close());
            QCOMPARE(e->dialogs.shown.size(), 1);
            QVERIFY(e->dialogs.shown[0].text.contains(path));
            QVERIFY(QFileInfo(path).isDir() && QDir().rmdir(path));
        }
    }

    // No keeps the window and sending resumes; Yes discards the message, on disk too; "Invia al
    // prossimo avvio" leaves it in the outbox, and the next start queues it again and sends it.
    void exitQuestion_data()
    {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("after"); // connects and records queued on a last tick, files kept
        using A = platform::IDialogs::Answer;
        QTest::newRow("No") << int(A::No) << "1 connects, 0 queued, 1 files";
        QTest::newRow("Yes") << int(A::Yes) << "0 connects, 0 queued, 0 files";
        QTest::newRow("Invia al prossimo avvio") << int(A::Third) << "0 connects, 1 queued, 1 files";
    }
    void exitQuestion()
    {
        QFETCH(int, answer);
        QFETCH(QString, after);
        const auto choice = platform::IDialogs::Answer(answer);
        Configure();
        app::frmMain& w = Show();
        QueueOne("in coda");
        e->clock.AdvanceSeconds(31);
        bool pendingWhileAsked = false;
        e->dialogs.onAsk = [&] {
            pendingWhileAsked = w.dispatcher().exitPending;
            e->timer1.Fire(); // the timer keeps ticking while the question is open
        };
        e->dialogs.choices.enqueue(choice);
        W<QAction>("mnuExit")->trigger();
        QCOMPARE(Said(), QStringList{"Ci sono dei messaggi accodati. Vuoi uscire senza inviarli?"});
        QVERIFY(e->dialogs.shown[0].question && pendingWhileAsked && e->ws.connects == 0);
        QCOMPARE(w.isVisible(), choice == platform::IDialogs::Answer::No);
        QCOMPARE(w.dispatcher().exitPending, choice != platform::IDialogs::Answer::No);
        e->timer1.Fire();
        QCOMPARE(QString("%1 connects, %2 queued, %3 files").arg(e->ws.connects).arg(Queued()).arg(OutboxFiles()),
                 after);
        if (choice != platform::IDialogs::Answer::Third)
            return;
        // The next start: the same record, its old creation time, on a new queued line, sent once.
        e->w.reset();
        e->ws.connects = 0;
        Show();
        QCOMPARE(Rows(W<QListWidget>("lstLog")), QStringList{"QUEUED -  x@example.invalid -  in coda"});
        e->timer1.Fire();
        QCOMPARE(e->ws.connects, 1);
        for (const QByteArray& reply : testsupport::ScriptedSmtpServer::GoodReplies())
            e->ws.Reply(reply);
        QCOMPARE(Rows(W<QListWidget>("lstLog")), QStringList{"OK -  x@example.invalid - : in coda"});
        QCOMPARE(OutboxFiles(), 0);
        QVERIFY(e->w->close()); // nothing waits: no question
    }

    // Delete on a QUEUED or RETRY line, or "Annulla invio" in its context menu, calls the message
    // back: it is never sent. The one in session cannot be, and a box says so.
    void callBack()
    {
        Configure();
        app::frmMain& w = Show();
        Type("txtNick", "Bea");
        for (const char* text : {"uno", "due", "tre"})
            QueueOne(text);
        auto* log = W<QListWidget>("lstLog");
        e->clock.AdvanceSeconds(31);
        e->timer1.Fire(); // "uno" in session
        e->ws.Fail("Connection refused"); // and back for a retry in a minute
        QCOMPARE(Rows(log), QStringList({"ERR - Connection refused", "RETRY 12:01 - Bea x@example.invalid -  uno",
                                         "QUEUED - Bea x@example.invalid -  due", "QUEUED - Bea x@example.invalid -  tre"}));
        e->timer1.Fire(); // "due" in session
        QCOMPARE(OutboxFiles(), 3);

        // By keyboard: Tab into the list, down to the RETRY line, Delete.
        W<QWidget>("cmdInvia")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), log);
        log->setCurrentRow(0);
        QTest::keyClick(log, Qt::Key_Down);
        QTest::keyClick(log, Qt::Key_Delete);
        QTest::keyClick(log, Qt::Key_Down);
        QTest::keyClick(log, Qt::Key_Delete); // "due" is in session
        QCOMPARE(Said(), QStringList{"Il messaggio è già in fase di invio e non può più essere annullato."});
        // The context menu of the last line, opened from the keyboard.
        QTest::keyClick(log, Qt::Key_Down);
        // What the menu key sends (the offscreen platform does not turn the key into it).
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), log->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(log->viewport(), &menuKey);
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = w.findChild<QMenu*>("mnuLstLog")) && menu->isVisible());
        auto* annulla = menu->findChild<QAction*>("mnuAnnullaInvio");
        QVERIFY(annulla && annulla->isEnabled() && annulla->text() == "Annulla invio");
        annulla->trigger();
        menu->close();
        QCOMPARE(Rows(log), QStringList({"ERR - Connection refused", "CANCELLED - Bea x@example.invalid -  uno",
                                         "QUEUED - Bea x@example.invalid -  due", "CANCELLED - Bea x@example.invalid -  tre"}));
        QCOMPARE(Queued(), 0);
        // On a line that is no longer waiting, nothing happens.
        log->setCurrentRow(1);
        QTest::keyClick(log, Qt::Key_Delete);
        QCOMPARE(Said().size(), 1);
        // Only "due" is left, on disk and on the wire; nothing else is ever sent.
        QCOMPARE(OutboxFiles(), 1);
        for (const QByteArray& reply : testsupport::ScriptedSmtpServer::GoodReplies())
            e->ws.Reply(reply);
        e->clock.AdvanceSeconds(3600);
        e->timer1.Fire();
        QCOMPARE(QString("%1 connects, %2 files").arg(e->ws.connects).arg(OutboxFiles()), "2 connects, 0 files");
    }

    // A setting the program cannot use holds every waiting message: HELD lines, the reason once,
    // no attempt however long the clock runs. "Riprova ora" in the context menu, reached by the
    // keyboard, sends one; OK in the configuration dialog lets the others go.
    void heldWaitsForTheUser()
    {
        Configure();
        Set("Security", "ssl");
        app::frmMain& w = Show();
        Type("txtNick", "Bea");
        QueueOne("uno");
        QueueOne("due");
        auto* log = W<QListWidget>("lstLog");
        e->clock.AdvanceSeconds(31);
        for (int hour = 0; hour < 30; ++hour, e->clock.AdvanceSeconds(3600))
            e->timer1.Fire();
        QCOMPARE(Rows(log).mid(1), QStringList({"HELD - Bea x@example.invalid -  uno", "HELD - Bea x@example.invalid -  due"}));
        QVERIFY2(Rows(log)[0].startsWith("ERR - Impostazione Security non valida: \"ssl\""), qPrintable(Rows(log)[0]));
        QCOMPARE(e->ws.connects, 0);
        QCOMPARE(OutboxFiles(), 2);
        w.Settings().Security = "none"; // mended
        // By keyboard: Tab into the list, down to "due", the menu key, "Riprova ora".
        W<QWidget>("cmdInvia")->setFocus();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), log);
        log->setCurrentRow(1);
        QTest::keyClick(log, Qt::Key_Down);
        QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(5, 5), log->viewport()->mapToGlobal(QPoint(5, 5)));
        QApplication::sendEvent(log->viewport(), &menuKey);
        QMenu* menu = nullptr;
        QTRY_VERIFY((menu = w.findChild<QMenu*>("mnuLstLog")) && menu->isVisible());
        auto* riprova = menu->findChild<QAction*>("mnuRiprovaOra");
        QVERIFY(riprova && riprova->isEnabled() && riprova->text() == "Riprova ora");
        riprova->trigger();
        menu->close();
        QCOMPARE(Rows(log)[2], "QUEUED - Bea x@example.invalid -  due");
        e->timer1.Fire();
        QCOMPARE(e->ws.connects, 1);
        for (const QByteArray& reply : testsupport::ScriptedSmtpServer::GoodReplies())
            e->ws.Reply(reply);
        QCOMPARE(Rows(log)[2], "OK - Bea x@example.invalid - : due");
        // The reason line has no message: nothing to retry there.
        QVERIFY(!w.outbox().CanRetryNow(0));
        w.mnuConfigure_Click();
        auto* options = w.findChild<app::frmOptions*>();
        QVERIFY(options && QTest::qWaitForWindowExposed(options));
        QTest::mouseClick(options->findChild<QPushButton*>("cmdOk"), Qt::LeftButton);
        QCOMPARE(Rows(log)[1], "QUEUED - Bea x@example.invalid -  uno");
        e->timer1.Fire();
        QCOMPARE(e->ws.connects, 2);
    }

    // "Clear" keeps the line of a waiting record; the session shows in lblDoing; with nothing
    // queued the exit asks nothing and saves the settings; "View all" opens the log.
    void clearSessionViewAndQuietExit()
    {
        Configure();
        app::frmMain& w = Show();
        Type("txtNick", "Bea");
        QueueOne("uno");
        auto* log = W<QListWidget>("lstLog");
        Click("cmdClear");
        QCOMPARE(log->count(), 1);
        e->clock.AdvanceSeconds(31);
        e->timer1.Fire();
        QCOMPARE(Label("lblDoing"), "[1] Sending to Bea");
        w.Settings().RetryHours = 0; // no retries: a failure is final, as a 5xx is
        e->ws.Fail("Connection refused");
        QCOMPARE(Label("lblDoing") + Rows(log).join('|'), "ERR - Connection refused|ERR - Bea x@example.invalid -  uno");
        Click("cmdClear");
        QCOMPARE(log->count(), 0);
        const QString path = e->dir.filePath("log.txt");
        Click("cmdViewLog"); // nothing sent yet: the editor gets an empty log
        QVERIFY(QFile::exists(path) && e->desktop.opened == QStringList{path});
        e->desktop.result = false;
        Click("cmdViewLog");
        QueueOne("due"); // in session when the window closes: it no longer waits, so nothing is asked
        e->clock.AdvanceSeconds(31);
        e->timer1.Fire();
        QVERIFY(e->w->dispatcher().exitPending == false && Label("lblDoing").startsWith("[1]") && Queued() == 0);
        QVERIFY(w.close());
        QCOMPARE(Said(), QStringList{"Impossibile aprire l'elenco dei messaggi inviati:\n" + path + " (!)"});
        QCOMPARE(e->store.values.value("Brevilo/Address/SMTP"), "mail.example.invalid");
    }

    void options()
    {
        settings::ModMain start;
        start.SMTP = "smtp.example.org";
        start.NewsDest = {"a@example.org", "", " 3312345678 "};
        start.SerieA = start.PallavoloA1_parziali = start.TuttiGol = true;
        start.PallavoloDettaglio = "Modena";
        start.SmsGateway = kGateway;
        Options(start);
        QCOMPARE(QString("%1|%2x%3|fixed %4").arg(dlg->windowTitle()).arg(dlg->width()).arg(dlg->height())
                     .arg(int(dlg->minimumSize() == dlg->maximumSize())),
                 "Configurazione|548x369|fixed 1");
        QVERIFY(!W("txtFrom")->toolTip().isEmpty() && W<QPushButton>("cmdOk")->isDefault());
        CheckCaptionsFit(dlg.get());
        QCOMPARE(FocusCycle(W("txtSMTP"), 14),
                 QStringList({"txtSMTP", "txtFrom", "txtTempoAttesa", "chkSerieA", "chkSerieB", "chkTuttiGol",
                              "chkPallavoloA1_finali", "chkPallavoloA1_parziali", "txtPallavoloDettaglio",
                              "chkNotizie", "txtDest0", "txtDest1", "txtDest2", "cmdOk", "cmdAnnulla"}));
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

        for (const char* name : {"txtSMTP", "txtTempoAttesa", "txtPallavoloDettaglio", "txtDest2"})
            Type(name, "3498765432");
        Click("cmdAnnulla");
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QCOMPARE(Fields(settings), Fields(start));
        Options(settings); // what was typed is gone
        QCOMPARE(W("txtSMTP")->text() + "|" + W("txtDest2")->text(), "smtp.example.org| 3312345678 ");

        Type("txtSMTP", " mail.example.net ");
        Type("txtFrom", "x");
        Type("txtTempoAttesa", "7.5");
        Type("txtPallavoloDettaglio", "*");
        Tick("chkSerieA");
        Tick("chkNotizie");
        Type("txtDest1", " 341234567 ");
        QTest::keyClick(W("txtDest1"), Qt::Key_Tab); // the focus is never kept
        QCOMPARE(QApplication::focusWidget(), W("txtDest2"));
        QCOMPARE(W("txtDest1")->text(), "341234567");
        QTest::mouseClick(W("txtDest0"), Qt::LeftButton, {}, QPoint(4, 4)); // selects it whole
        QTRY_COMPARE(W("txtDest0")->selectedText(), "a@example.org");
        QTest::keyClicks(W("txtDest0"), " 3412345678 ");
        QTest::keyClick(W("txtDest0"), Qt::Key_Enter); // OK, but txtDest0 is not left: its rule must still apply
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(Fields(settings), QStringList({" mail.example.net ", "x", "8", "3412345678@" + kGateway,
                                                "341234567", "3312345678", "*", "001111"}));
    }

    // "Server e account…" comes last in the focus order and opens its own small dialog; what is
    // set there applies only with the configuration's OK, the password going to the secret store.
    void serverAndAccount()
    {
        FakeSecretStore secrets;
        mail::Passwords passwords(secrets, e->dialogs);
        settings::ModMain start;
        start.SMTP = "smtp.example.org";
        start.SmsGateway = kGateway;
        Options(start);
        dlg->SetPasswords(&passwords);
        QCOMPARE(FocusCycle(W("txtDest2"), 4), QStringList({"txtDest2", "cmdOk", "cmdAnnulla", "cmdAccount", "txtSMTP"}));
        for (bool ok : {false, true}) {
            if (ok)
                Options(settings);
            W<QPushButton>("cmdAccount")->setFocus(Qt::TabFocusReason);
            QTest::keyClick(W<QPushButton>("cmdAccount"), Qt::Key_Space);
            auto* account = dlg->findChild<QDialog*>("frmAccount");
            QVERIFY(account && QTest::qWaitForWindowActive(account));
            root = account;
            QTRY_COMPARE(QApplication::focusWidget(), W<QWidget>("cboSecurity"));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down); // STARTTLS
            for (const char* typed : {"anna", "segreto", "sms.operator.example"}) {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
                QTest::keyClicks(QApplication::focusWidget(), typed);
            }
            QVERIFY(W("txtPassword")->echoMode() == QLineEdit::Password);
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QTRY_VERIFY(!account->isVisible());
            root = dlg.get();
            Click(ok ? "cmdOk" : "cmdAnnulla");
            QTRY_VERIFY(!dlg->isVisible());
            QCOMPARE(QStringList({settings.Security, settings.User, settings.SmsGateway, secrets.entries.keys().join(' ')}),
                     ok ? QStringList({"starttls", "anna", "sms.operator.example", "anna@smtp.example.org"})
                        : QStringList({"none", "", kGateway, ""}));
        }
        QCOMPARE(secrets.entries.value("anna@smtp.example.org"), "segreto");
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
            QCOMPARE(box->windowTitle(), "Brevilo");
            QVERIFY(box->findChild<QLabel*>("lblPassword")->text().contains("anna")
                    && box->findChild<QLabel*>("lblPassword")->text().contains("smtp.example.org"));
            QTRY_COMPARE(QApplication::focusWidget()->objectName(), "txtPassword");
            auto* remember = box->findChild<QCheckBox*>("chkRicorda");
            QCOMPARE(QString("%1 %2 %3").arg(remember->text()).arg(remember->isChecked()).arg(remember->isEnabled()),
                     store ? "Ricorda la password 1 1" : "Ricorda la password 0 0");
            QCOMPARE(box->findChild<QLabel*>("lblNoStore") != nullptr, !store);
            // A pasted NUL is refused: Return does nothing until it is gone.
            qobject_cast<QLineEdit*>(QApplication::focusWidget())->insert(QString("p") + QChar(0) + "w");
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
            QVERIFY(box && box->findChild<QLabel*>("lblNul")->isVisible() && answers.size() == (store ? 0 : 1));
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_A, Qt::ControlModifier);
            QTest::keyClicks(QApplication::focusWidget(), "pw");
            QVERIFY(!box->findChild<QLabel*>("lblNul")->isVisible());
            QTest::keyClick(QApplication::focusWidget(), store ? Qt::Key_Return : Qt::Key_Escape);
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

    // The real program on Security=none: at start neither the TLS backend nor QtKeychain is loaded.
    void plainStartLoadsNoTlsNorKeychain()
    {
        QTemporaryDir home;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("HOME", home.path());
        env.insert("XDG_CONFIG_HOME", home.path() + "/.config");
        env.insert("XDG_DATA_HOME", home.path() + "/.local/share");
        env.remove("DBUS_SESSION_BUS_ADDRESS");
        QProcess brevilo;
        brevilo.setProcessEnvironment(env);
        brevilo.start(BREVILO_BINARY);
        QVERIFY(brevilo.waitForStarted());
        QByteArray loaded;
        QTRY_VERIFY_WITH_TIMEOUT((loaded = ReadMaps(brevilo.processId())).contains("libqoffscreen"), 20000);
        QTest::qWait(1500); // the window is up and its first timers have run
        loaded = ReadMaps(brevilo.processId());
        brevilo.kill();
        brevilo.waitForFinished();
        QVERIFY(loaded.contains("libQt6Network")); // the maps were read
        for (const char* lib : {"libssl", "qopensslbackend", "keychain", "libsecret"})
            QVERIFY2(!loaded.contains(lib), lib);
    }

    // OAuth through the windows, by keyboard: "Altro (OAuth 2.0)" with its fields and "Accedi ora"
    // in "Server e account…", which signs in at once; then a typed message goes without the
    // browser. A user not signed in gets the sign-in window, and Esc there holds the message.
    void signInThroughTheWindows()
    {
        QTemporaryDir saved;
        OAuthServer server;
        QVERIFY2(server.Start(saved.path()), qPrintable(server.Output()));
        Set("SMTP", server.Setting("both"));
        Set("From", "anna@example.invalid");
        Set("TempoAttesa", "0");
        Set("Security", "starttls");
        Set("CaFile", server.CaFile());
        Show(true);
        e->w->mnuConfigure_Click();
        root = e->w->findChild<QDialog*>("frmOptions");
        QVERIFY(root && QTest::qWaitForWindowActive(root));
        W<QPushButton>("cmdAccount")->setFocus(Qt::TabFocusReason);
        QTest::keyClick(W<QPushButton>("cmdAccount"), Qt::Key_Space);
        auto* account = root->findChild<QDialog*>("frmAccount");
        QVERIFY(account && QTest::qWaitForWindowActive(account));
        root = account;
        QTRY_COMPARE(QApplication::focusWidget(), W<QWidget>("cboSecurity"));
        const QList<std::pair<int, QString>> keys = {{1, OAuthServer::kUser}, {3, ""}};
        for (const auto& [tabs, typed] : keys) {
            for (int i = 0; i < tabs; ++i)
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), typed);
        }
        QCOMPARE(QApplication::focusWidget(), W<QWidget>("cboAuth"));
        QVERIFY(!W<QPushButton>("cmdAccedi")->isEnabled()); // nothing to sign in with yet
        for (int i = 0; i < 3; ++i)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QVERIFY(Label("lblOAuth").contains("ID client"));
        for (const QString& typed : {QString(OAuthServer::kClientId), QString(), server.Url("authorize"), server.Url("token"),
                                     QString("smtp offline_access")}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(QApplication::focusWidget(), typed);
        }
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), W<QWidget>("cmdAccedi"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
        QTRY_COMPARE_WITH_TIMEOUT(Label("lblOAuth"), "Accesso riuscito", 20000);
        QCOMPARE(e->browser.opened.size(), 1);
        // The sign-in window has come and gone over the dialog, which takes the keyboard again.
        QVERIFY(!e->w->findChild<QDialog*>("frmSignIn")->isVisible());
        account->activateWindow();
        QTRY_VERIFY(QApplication::focusWidget() && QApplication::focusWidget()->window() == account);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return); // OK of "Server e account"
        QTRY_VERIFY(!account->isVisible());
        root = e->w->findChild<QDialog*>("frmOptions");
        Click("cmdOk");
        root = e->w.get();
        e->w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(e->w.get()));

        QueueOne("col token");
        auto* log = W<QListWidget>("lstLog");
        QTRY_VERIFY_WITH_TIMEOUT(log->item(0)->text().startsWith("OK - "), 20000);
        QCOMPARE(e->browser.opened.size(), 1);
        QCOMPARE(e->secrets.entries.size(), 1);

        // Another user at the same server has not signed in: the window names the account.
        QVERIFY(server.Control("authorize", "ignore"));
        e->w->mnuConfigure_Click();
        root = e->w->findChild<QDialog*>("frmOptions");
        Click("cmdAccount");
        root = account;
        QTRY_VERIFY(account->isVisible());
        Type("txtUser", "bea@example.invalid", true);
        QTRY_VERIFY(!account->isVisible());
        root = e->w->findChild<QDialog*>("frmOptions");
        Click("cmdOk");
        root = e->w.get();
        e->w->activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(e->w.get()));
        QueueOne("trattenuto");
        QPointer<QDialog> signIn;
        QTRY_VERIFY_WITH_TIMEOUT((signIn = e->w->findChild<QDialog*>("frmSignIn")) && signIn->isVisible(), 20000);
        QCOMPARE(signIn->windowTitle(), "Brevilo");
        QVERIFY(signIn->findChild<QLabel*>("lblAccount")->text().contains("bea@example.invalid"));
        QTRY_COMPARE(QApplication::focusWidget(), signIn->findChild<QWidget*>("cmdAnnulla"));
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
        QTRY_VERIFY(log->item(log->count() - 1)->text().startsWith("HELD - "));
        QVERIFY(log->item(0)->text().startsWith("ERR - Accesso per bea@example.invalid (127.0.0.1) annullato. I messaggi"
                                                " attendono: \"Riprova ora\""));
        QVERIFY(!signIn->isVisible());
        QCOMPARE(Queued(), 1);
    }

    // The real route to the browser: QDesktopServices runs xdg-open, here a script on PATH that
    // fetches the page and follows the provider's redirect back to the program.
    void signInThroughXdgOpen()
    {
        QTemporaryDir bin;
        OAuthServer server;
        QVERIFY2(server.Start(), qPrintable(server.Output()));
        QFile script(bin.filePath("xdg-open"));
        QVERIFY(script.open(QIODevice::WriteOnly));
        script.write("#!/bin/sh\nexec /usr/bin/python3 -c 'import sys, urllib.request; "
                     "urllib.request.urlopen(sys.argv[1]).read()' \"$1\"\n");
        script.close();
        script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toLocal8Bit() + ":" + path);
        qunsetenv("BROWSER");
        qunsetenv("DEFAULT_BROWSER");
        platform::QtBrowser browser;
        mail::OAuthTokens tokens(e->secrets, browser, e->signInTimer, e->clock);
        mail::OAuthConfig config{"custom", OAuthServer::kClientId, "", QUrl(server.Url("authorize")), QUrl(server.Url("token")),
                                 "smtp", OAuthServer::kUser, "127.0.0.1"};
        std::optional<mail::ITokenSource::Result> result;
        tokens.Obtain(config, mail::ITokenSource::Mode::Any, [&](mail::ITokenSource::Result r) { result = r; });
        QTRY_VERIFY_WITH_TIMEOUT(result.has_value(), 20000);
        qputenv("PATH", path);
        QVERIFY2(result->accessToken.has_value(), qPrintable(result->reason));
        QCOMPARE(server.Stat("code"), 1);
    }

    void typedMessageReachesRealServer()
    {
        QTemporaryDir mailDir;
        ExternalServer server;
        const QString sink = qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/support/smtp_sink.py";
        QVERIFY2(server.Start({sink, mailDir.path()}, QRegularExpression("READY (\\d+)")), qPrintable(server.Output()));
        Set("SMTP", QString("127.0.0.1:%1").arg(server.Port()));
        Set("From", "anna@example.invalid");
        Set("Name", "Anna");
        Set("TempoAttesa", "0");
        Show(true);
        Type("txtTo", "bea@example.invalid");
        Type("txtSubject", "Cena");
        Type("txtTesto", "Alle otto", true);
        QTest::keyClicks(W<QPlainTextEdit>("txtTesto"), ".da Gino");
        Click("cmdInvia");
        auto* log = W<QListWidget>("lstLog");
        QTRY_VERIFY_WITH_TIMEOUT(log->item(0)->text().startsWith("OK - "), 20000);
        QCOMPARE(log->item(0)->text(), "OK -  bea@example.invalid - Cena: Alle otto\n.da Gino");
        QFile message(mailDir.filePath("0001.eml")); // written before the server's reply
        QVERIFY(message.open(QIODevice::ReadOnly));
        const QByteArray raw = message.readAll(); // the line that starts with a dot arrives as typed
        QVERIFY2(raw.contains("Subject:Cena\r\nFrom:Anna <anna@example.invalid>\r\nTo:bea@example.invalid\r\n\r\n"
                              "Alle otto\r\n.da Gino"),
                 raw.constData());
        QFile sendLog(e->dir.filePath("log.txt"));
        QVERIFY(sendLog.open(QIODevice::ReadOnly) && sendLog.readAll().contains(" bea@example.invalid  - Cena - Alle otto"));
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
