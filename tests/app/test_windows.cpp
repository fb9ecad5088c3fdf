// The main window and the configuration dialog driven as a person would: typing, Tab and clicks,
// on fakes and a temporary data folder; and once on the real clock and socket against a real
// SMTP server on the loopback.
#include "ExternalServer.h"
#include "FakeHttpClient.h"
#include "FakeTcpSocket.h"
#include "Fakes.h"
#include "app/frmMain.h"
#include "app/frmOptions.h"
#include "mail/Dispatcher.h"
#include "mail/Outbox.h"

#include <QtTest>
#include <QtWidgets>

using namespace testsupport;
using Icon = platform::IDialogs::Icon;

namespace {
const QString kGateway = "sms.example.invalid";

struct Env {
    FakeClock clock;
    MemorySettingsStore store;
    FakeDialogs dialogs;
    FakeDesktop desktop;
    FakeTcpSocket ws;
    FakeHttpClient inet1;
    FakeTimer timer1, timer2, replyTimer;
    QTemporaryDir dir;
    std::unique_ptr<app::frmMain> w;
};

// The dialog's variables, in a form QCOMPARE can show.
QStringList Fields(const app::ModMain& m)
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
} // namespace

class TestWindows : public QObject {
    Q_OBJECT
    std::unique_ptr<Env> e;
    app::ModMain settings; // the dialog's
    std::unique_ptr<app::frmOptions> dlg;
    QWidget* root = nullptr; // the window whose controls W finds

    void Set(const char* key, const QString& value)
    {
        e->store.values.insert(MemorySettingsStore::Key("Brevilo", "Address", key), value);
    }
    void Configure()
    {
        Set("SMTP", "mail.example.invalid");
        Set("From", "me@example.invalid");
        Set("Name", "Anna");
    }
    void Book(const QByteArray& bytes)
    {
        QFile file(e->dir.filePath("rubrica.txt"));
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }
    app::frmMain& Show(app::frmMainDeps d = {})
    {
        if (!d.store) { // real clock, socket and timers when the caller gave its own deps
            d.clock = &e->clock, d.ws = &e->ws, d.timer1 = &e->timer1, d.timer2 = &e->timer2;
            d.replyTimer = &e->replyTimer, d.store = &e->store;
        }
        d.dialogs = &e->dialogs, d.desktop = &e->desktop, d.inet1 = &e->inet1, d.dataDirectory = e->dir.path();
        e->w = std::make_unique<app::frmMain>(d);
        root = e->w.get();
        e->w->show();
        e->w->activateWindow();
        if (!QTest::qWaitForWindowActive(e->w.get()))
            qWarning("window not active");
        return *e->w;
    }
    void Options(const app::ModMain& s)
    {
        settings = s;
        if (!dlg)
            dlg = std::make_unique<app::frmOptions>(settings);
        root = dlg.get();
        dlg->ShowModal();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    }
    app::ModMain SomeSettings()
    {
        app::ModMain s;
        s.SMTP = "smtp.example.org";
        s.NewsDest = {"a@example.org", "", " 3312345678 "};
        s.SerieA = s.PallavoloA1_finali = s.TuttiGol = true;
        s.PallavoloDettaglio = "Modena";
        s.SmsGateway = kGateway;
        return s;
    }
    template <class T = QLineEdit>
    T* W(const char* name)
    {
        if (T* found = root->findChild<T*>(name))
            return found;
        qFatal("no control %s", name);
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
    int Queued() { return e->w->outbox().mailQueue().Count(); }
    QStringList Said()
    {
        QStringList said;
        for (const auto& shown : e->dialogs.shown)
            said.append(shown.text + (shown.icon == Icon::Exclamation ? " (!)" : ""));
        return said;
    }
    void QueueOne(const QString& text)
    {
        Type("txtTo", "x@example.invalid");
        Type("txtTesto", text);
        Click("cmdInvia");
    }

private Q_SLOTS:
    void init()
    {
        e = std::make_unique<Env>();
        QVERIFY(e->dir.isValid());
    }
    void cleanup()
    {
        dlg.reset();
        e.reset();
    }

    // Both windows are also rendered to PNG files in the build folder, for a person to look at.
    void layoutAndScreenshots()
    {
        Configure();
        Set("SmsGateway", kGateway);
        Book("Mario,3471234567\r\nGiovanna Bianchi,giovanna@example.invalid\r\n");
        app::frmMain& w = Show();
        QCOMPARE(w.windowTitle(), "Send mail");
        QCOMPARE(w.centralWidget()->size(), QSize(616, 455));
        QCOMPARE(w.minimumSize(), w.maximumSize());
        QCOMPARE(W<QWidget>("lstLog")->toolTip(), "Ultimi messaggi inviati, QUEUED=in coda  OK=inviato  ERR=errore");
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
        for (QLabel* l : w.findChildren<QLabel*>()) // no caption is cut
            QVERIFY2(l->width() >= l->sizeHint().width() || l->text().isEmpty(), qPrintable(l->objectName()));
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

    void composer()
    {
        Configure();
        Set("SmsGateway", kGateway); // the store's gateway takes the place of the built-in one
        app::frmMain& w = Show();
        Type("txtSubject", "vecchio");
        Click("cmdLast"); // nothing sent yet: subject and text are emptied
        QCOMPARE(W("txtSubject")->text(), QString());
        // The four checks in order: each click also fails every later check.
        Type("txtNick", "Bea");
        Type("txtSubject", "Cena");
        Type("txtTesto", "   ");
        w.Settings().SMTP = "localhost";
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
        QCOMPARE(W("txtSubject")->text() + Text("txtTesto"), "Cena   ");
        QCOMPARE(W("txtTo")->text(), "3471234567@" + kGateway);

        Type("txtTesto", "alle otto");
        Click("cmdInvia");
        const auto first = w.outbox().mailQueue().Value(0).ObjectAs<mail::CMessaggio>();
        QVERIFY(first && first->mailTimeCreated == e->clock.Now());
        QCOMPARE(QStringList({first->mailTo, first->mailToNick, first->mailFrom, first->mailFromName}),
                 QStringList({"3471234567@" + kGateway, "Bea", "me@example.invalid", "Anna"}));
        QCOMPARE(W("txtSubject")->text() + Text("txtTesto") + W("txtTo")->text(), "3471234567@" + kGateway);
        QCOMPARE(Label("lblCharCount") + Label("lblCharsRemain"), "Caratteri: 0SMS caratt.disp.: 149");
        Click("cmdLast");
        QCOMPARE(W("txtSubject")->text() + "|" + Text("txtTesto"), "Cena|alle otto");
        QCOMPARE(Label("lblCharCount") + Label("lblCharsRemain"), "Caratteri: 9SMS caratt.disp.: 136");
        QVERIFY(W<QLabel>("lblCharsRemain")->isVisible());

        Type("txtSubject", "");
        Type("txtTesto", "", true); // an empty subject and a text of one line break go too
        Type("txtTo", " x@example.invalid"); // a plain address is only trimmed
        Click("cmdInvia");
        QCOMPARE(Queued(), 2);
        QCOMPARE(Rows(W<QListWidget>("lstLog")),
                 QStringList({"QUEUED - Bea 3471234567@" + kGateway + " - Cena alle otto",
                              "QUEUED - Bea x@example.invalid -  \n"}));
        QVERIFY(!W<QLabel>("lblCharsRemain")->isVisible());
        Type("txtTo", "+39 3471234567"); // not for the gateway either: no SMS counter
        Type("txtTesto", QString(149, 't'), true);
        QCOMPARE(W("txtTo")->text(), "+39 3471234567");
        QVERIFY(!W<QLabel>("lblCharsRemain")->isVisible());
        QCOMPARE(Label("lblCharCount") + Label("lblCharsRemain"), "Caratteri: 150SMS caratt.disp.: -1");
        QCOMPARE(Said().size(), 4);
    }

    void addressBook()
    {
        Set("SmsGateway", kGateway);
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

        Type("txtNick", "Rossi, Mario"); // the file could not read it back: refused, and told
        Type("txtTo", "m@example.invalid");
        Click("cmdSalva");
        QCOMPARE(list->count(), 5);
        QVERIFY(Said().value(0).contains("virgole"));
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
    }

    void unreadableAddressBookIsNotOverwritten_data()
    {
        QTest::addColumn<bool>("atStart");
        QTest::newRow("unreadable at start: told, and no save over it") << true;
        QTest::newRow("save fails at exit: told, with the path") << false;
    }
    void unreadableAddressBookIsNotOverwritten()
    {
        QFETCH(bool, atStart);
        const QString path = e->dir.filePath("rubrica.txt"); // a folder takes the file's place
        QVERIFY(!atStart || QDir().mkdir(path));
        Show();
        QVERIFY(atStart || (QFile::remove(path) && QDir().mkdir(path)));
        Type("txtNick", "Mario");
        Type("txtTo", "mario@example.invalid");
        Click("cmdSalva");
        QVERIFY(e->w->close());
        QCOMPARE(e->dialogs.shown.size(), 1);
        QVERIFY(e->dialogs.shown[0].text.contains(path));
        QVERIFY(QFileInfo(path).isDir());
    }

    void exitQuestion_data()
    {
        QTest::addColumn<bool>("yes");
        QTest::newRow("No keeps the window and sending resumes") << false;
        QTest::newRow("Yes discards the message") << true;
    }
    void exitQuestion()
    {
        QFETCH(bool, yes);
        Configure();
        app::frmMain& w = Show();
        QueueOne("in coda");
        e->clock.AdvanceSeconds(31);
        bool pendingWhileAsked = false;
        e->dialogs.onAsk = [&] {
            pendingWhileAsked = w.dispatcher().exitPending;
            e->timer1.Fire(); // the timer keeps ticking while the question is open
        };
        e->dialogs.answers.enqueue(yes);
        W<QAction>("mnuExit")->trigger();
        QCOMPARE(Said(), QStringList{"Ci sono dei messaggi accodati. Vuoi uscire senza inviarli?"});
        QVERIFY(e->dialogs.shown[0].question && pendingWhileAsked && e->ws.connects == 0);
        QCOMPARE(w.isVisible(), !yes);
        QCOMPARE(w.dispatcher().exitPending, yes);
        e->timer1.Fire();
        QCOMPARE(e->ws.connects, yes ? 0 : 1);
        QCOMPARE(Queued(), yes ? 1 : 0);
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
        QCOMPARE(e->ws.connectedHost + ":" + QString::number(e->ws.connectedPort), "mail.example.invalid:25");
        QCOMPARE(Label("lblDoing"), "[1] Sending to Bea");
        e->ws.Fail("Connection refused");
        QCOMPARE(Label("lblDoing") + Rows(log).join('|'), "ERR - Connection refused|QUEUED - Bea x@example.invalid -  uno");
        Click("cmdClear");
        QCOMPARE(log->count(), 0);
        const QString path = e->dir.filePath("log.txt");
        Click("cmdViewLog"); // nothing sent yet: the editor gets an empty log
        QVERIFY(QFile::exists(path) && e->desktop.opened == QStringList{path});
        e->desktop.result = false;
        Click("cmdViewLog");
        QVERIFY(w.close());
        QCOMPARE(Said(), QStringList{"Impossibile aprire l'elenco dei messaggi inviati:\n" + path + " (!)"});
        QCOMPARE(e->store.values.value("Brevilo/Address/SMTP"), "mail.example.invalid");
    }

    void optionsLayoutAndInterlock()
    {
        app::ModMain s = SomeSettings();
        s.PallavoloA1_finali = false;
        s.PallavoloA1_parziali = true;
        Options(s);
        QCOMPARE(dlg->windowTitle(), "Configurazione");
        QCOMPARE(dlg->size(), QSize(548, 369));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
        QVERIFY(!W("txtFrom")->toolTip().isEmpty() && W<QPushButton>("cmdOk")->isDefault());
        for (QLabel* l : dlg->findChildren<QLabel*>()) {
            const int needed = l->wordWrap() ? l->heightForWidth(l->width()) : l->sizeHint().height();
            QVERIFY2(needed <= l->height() + 1 && (l->wordWrap() || l->sizeHint().width() <= l->width()),
                     qPrintable(l->objectName()));
        }
        for (QCheckBox* b : dlg->findChildren<QCheckBox*>())
            QVERIFY2(b->sizeHint().width() <= b->width() &&
                         b->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, b) <= b->height(),
                     qPrintable(b->objectName()));
        for (QPushButton* b : dlg->findChildren<QPushButton*>())
            QVERIFY(b->fontMetrics().horizontalAdvance(b->text()) + 8 <= b->width());
        QCOMPARE(FocusCycle(W("txtSMTP"), 14),
                 QStringList({"txtSMTP", "txtFrom", "txtTempoAttesa", "chkSerieA", "chkSerieB", "chkTuttiGol",
                              "chkPallavoloA1_finali", "chkPallavoloA1_parziali", "txtPallavoloDettaglio",
                              "chkNotizie", "txtDest0", "txtDest1", "txtDest2", "cmdOk", "cmdAnnulla"}));
        const auto boxes = [&] {
            return QString::number(W<QCheckBox>("chkPallavoloA1_finali")->isChecked()) +
                   QString::number(W<QCheckBox>("chkPallavoloA1_parziali")->isChecked());
        };
        QCOMPARE(boxes(), "11"); // loading keeps it too
        Tick("chkPallavoloA1_parziali");
        QCOMPARE(boxes(), "10"); // unchecking parziali keeps finali
        Tick("chkPallavoloA1_finali");
        QCOMPARE(boxes(), "00");
        Tick("chkPallavoloA1_parziali");
        QCOMPARE(boxes(), "11"); // parziali checks finali
        Tick("chkPallavoloA1_finali");
        QCOMPARE(boxes(), "00"); // unchecking finali unchecks parziali
        Tick("chkPallavoloA1_finali");
        QCOMPARE(boxes(), "10");
    }

    void okCopiesEveryField_data()
    {
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("mouse on OK") << false;
        QTest::newRow("Enter in a recipient box") << true; // not left: its rule must still apply
    }
    void okCopiesEveryField()
    {
        QFETCH(bool, byEnter);
        Options(SomeSettings());
        Type("txtSMTP", " mail.example.net ");
        Type("txtFrom", "x");
        Type("txtTempoAttesa", "7.5");
        Type("txtPallavoloDettaglio", "*");
        Tick("chkSerieA");
        Tick("chkNotizie");
        Type("txtDest1", " 341234567 ");
        QTest::keyClick(W("txtDest1"), Qt::Key_Tab); // the focus is never kept; txtDest2 is left later
        QCOMPARE(QApplication::focusWidget(), W("txtDest2"));
        QCOMPARE(W("txtDest1")->text(), "341234567");
        QTest::mouseClick(W("txtDest0"), Qt::LeftButton, {}, QPoint(4, 4)); // selects it whole
        QTRY_COMPARE(W("txtDest0")->selectedText(), "a@example.org");
        QTest::keyClicks(W("txtDest0"), " 3412345678 ");
        if (byEnter)
            QTest::keyClick(W("txtDest0"), Qt::Key_Enter);
        else
            Click("cmdOk");
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(Fields(settings), QStringList({" mail.example.net ", "x", "8", "3412345678@" + kGateway,
                                                "341234567", "3312345678", "*", "001011"}));
    }

    void closingOtherwiseChangesNothing_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("Annulla") << "Annulla";
        QTest::newRow("Esc") << "Esc";
        QTest::newRow("close box") << "close";
    }
    void closingOtherwiseChangesNothing()
    {
        QFETCH(QString, how);
        Options(SomeSettings());
        for (const char* name : {"txtSMTP", "txtTempoAttesa", "txtPallavoloDettaglio", "txtDest2"})
            Type(name, "3498765432");
        for (QCheckBox* box : dlg->findChildren<QCheckBox*>())
            Tick(box->objectName());
        if (how == "Annulla")
            Click("cmdAnnulla");
        else if (how == "Esc")
            QTest::keyClick(W("txtDest2"), Qt::Key_Escape);
        else
            dlg->close();
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QCOMPARE(Fields(settings), Fields(SomeSettings()));
        Options(settings); // what was typed is gone
        QCOMPARE(W("txtSMTP")->text() + "|" + W("txtDest2")->text(), "smtp.example.org| 3312345678 ");
        QVERIFY(W<QCheckBox>("chkSerieA")->isChecked() && !W<QCheckBox>("chkNotizie")->isChecked());
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
        app::frmMainDeps real; // clock, socket and timers
        real.store = &e->store;
        Show(real);
        Type("txtTo", "bea@example.invalid");
        Type("txtSubject", "Cena");
        Type("txtTesto", "Alle otto", true);
        QTest::keyClicks(W<QPlainTextEdit>("txtTesto"), ".da Gino");
        Click("cmdInvia");
        auto* log = W<QListWidget>("lstLog");
        QTRY_VERIFY_WITH_TIMEOUT(log->item(0)->text().startsWith("OK - "), 20000);
        QCOMPARE(log->item(0)->text(), "OK -  bea@example.invalid - Cena: Alle otto\n.da Gino");
        QFile envelope(mailDir.filePath("0001.json")), message(mailDir.filePath("0001.eml"));
        QTRY_VERIFY(envelope.exists());
        QVERIFY(envelope.open(QIODevice::ReadOnly) && message.open(QIODevice::ReadOnly));
        QCOMPARE(QJsonDocument::fromJson(envelope.readAll())["mail_from"].toString(), "anna@example.invalid");
        const QByteArray raw = message.readAll(); // the line that starts with a dot arrives as typed
        QVERIFY2(raw.contains("Subject:Cena\r\nFrom:Anna <anna@example.invalid>\r\nTo:bea@example.invalid\r\n\r\n"
                              "Alle otto\r\n.da Gino"),
                 raw.constData());
        QFile sendLog(e->dir.filePath("log.txt"));
        QVERIFY(sendLog.open(QIODevice::ReadOnly) && sendLog.readAll().contains(" bea@example.invalid  - Cena - Alle otto"));
        QTRY_COMPARE(Label("lblDoing"), QString());
    }
};

QTEST_MAIN(TestWindows)
#include "test_windows.moc"
