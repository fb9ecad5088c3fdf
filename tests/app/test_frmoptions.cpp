#include "app/frmOptions.h"
#include "app/modMain.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QTest>

#include <memory>

using app::frmOptions;
using app::ModMain;

namespace {

const QString kGateway = QStringLiteral("gw.example.invalid");

ModMain SomeSettings()
{
    ModMain s;
    s.SMTP = "smtp.example.org";
    s.From = "me@example.org";
    s.TempoAttesa = 30;
    s.NewsDest = {"a@example.org", "", " 3312345678 "};
    s.SerieA = true;
    s.PallavoloA1_finali = true;
    s.PallavoloDettaglio = "Modena";
    s.TuttiGol = true;
    s.SmsGateway = kGateway;
    return s;
}

bool SameVariables(const ModMain& a, const ModMain& b)
{
    return a.SMTP == b.SMTP && a.From == b.From && a.TempoAttesa == b.TempoAttesa
        && a.NewsDest == b.NewsDest && a.SerieA == b.SerieA && a.SerieB == b.SerieB
        && a.PallavoloA1_finali == b.PallavoloA1_finali
        && a.PallavoloA1_parziali == b.PallavoloA1_parziali
        && a.PallavoloDettaglio == b.PallavoloDettaglio && a.Notizie == b.Notizie
        && a.TuttiGol == b.TuttiGol;
}

} // namespace

class TestFrmOptions : public QObject {
    Q_OBJECT

    ModMain settings;
    std::unique_ptr<frmOptions> dlg;

    template <class T>
    T* Find(const char* name)
    {
        auto* w = dlg->findChild<T*>(QLatin1String(name));
        if (!w)
            qFatal("no control %s", name);
        return w;
    }
    QLineEdit* Edit(const char* name) { return Find<QLineEdit>(name); }
    QCheckBox* Check(const char* name) { return Find<QCheckBox>(name); }

    void Open()
    {
        dlg->ShowModal();
        QVERIFY(QTest::qWaitForWindowActive(dlg.get()));
    }
    // As a person would: click into the box, select what is there, type over it.
    void TypeInto(QLineEdit* edit, const QString& text)
    {
        QTest::mouseClick(edit, Qt::LeftButton);
        QTRY_VERIFY(edit->hasFocus());
        edit->selectAll();
        QTest::keyClicks(edit, text);
    }

private Q_SLOTS:
    void init()
    {
        settings = SomeSettings();
        dlg = std::make_unique<frmOptions>(settings);
        Open();
    }
    void cleanup() { dlg.reset(); }

    void layoutAndTexts()
    {
        QCOMPARE(dlg->windowTitle(), QString("Configurazione"));
        QCOMPARE(dlg->size(), QSize(548, 369));
        QCOMPARE(dlg->minimumSize(), dlg->maximumSize());
        QCOMPARE(Edit("txtSMTP")->geometry(), QRect(80, 12, 205, 21));
        QCOMPARE(Find<QGroupBox>("Frame1")->geometry(), QRect(260, 68, 285, 245));
        QCOMPARE(Edit("txtDest2")->parentWidget()->objectName(), QString("Frame1"));
        QCOMPARE(Edit("txtDest2")->geometry(), QRect(8, 212, 217, 21));
        QCOMPARE(Edit("txtTempoAttesa")->parentWidget()->objectName(), QString("Frame2"));
        QCOMPARE(Find<QPushButton>("cmdOk")->geometry(), QRect(288, 324, 53, 37));
        QCOMPARE(Edit("txtSMTP")->toolTip(),
                 QString("Tanto per intenderci, quello che c'è in Outlook / Strumenti / Account / "
                         "Proprietà / Server / Posta in uscita SMTP"));
        QCOMPARE(Edit("txtPallavoloDettaglio")->toolTip(),
                 QString("Indicare squadra per la quale si vuole dettaglio oppure * per tutte le squadre"));
        QVERIFY(!Edit("txtFrom")->toolTip().isEmpty());
        QVERIFY(Find<QPushButton>("cmdOk")->isDefault());

        // Nothing clipped at the chosen font size.
        for (QLabel* label : dlg->findChildren<QLabel*>()) {
            const int needed = label->wordWrap() ? label->heightForWidth(label->width())
                                                 : label->sizeHint().height();
            QVERIFY2(needed <= label->height() + 1, qPrintable(label->objectName()));
            if (!label->wordWrap())
                QVERIFY2(label->sizeHint().width() <= label->width(), qPrintable(label->objectName()));
        }
        for (QCheckBox* box : dlg->findChildren<QCheckBox*>()) {
            QVERIFY2(box->sizeHint().width() <= box->width(), qPrintable(box->objectName()));
            QVERIFY2(box->style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, box) <= box->height(),
                     qPrintable(box->objectName()));
        }
        for (QPushButton* button : dlg->findChildren<QPushButton*>())
            QVERIFY(button->fontMetrics().horizontalAdvance(button->text()) + 8 <= button->width());

        QVERIFY(dlg->grab().save(QDir::current().filePath("frmOptions.png")));
    }

    void focusOrder()
    {
        Edit("txtSMTP")->setFocus(Qt::TabFocusReason);
        QStringList visited{QApplication::focusWidget()->objectName()};
        for (int i = 0; i < 14; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            visited.append(QApplication::focusWidget()->objectName());
        }
        QCOMPARE(visited, (QStringList{"txtSMTP", "txtFrom", "txtTempoAttesa", "chkSerieA", "chkSerieB",
                                       "chkTuttiGol", "chkPallavoloA1_finali", "chkPallavoloA1_parziali",
                                       "txtPallavoloDettaglio", "chkNotizie", "txtDest0", "txtDest1",
                                       "txtDest2", "cmdOk", "cmdAnnulla"}));
    }

    void volleyballInterlock_data()
    {
        QTest::addColumn<bool>("finaliBefore");
        QTest::addColumn<bool>("parzialiBefore");
        QTest::addColumn<QString>("clicked");
        QTest::addColumn<bool>("finaliAfter");
        QTest::addColumn<bool>("parzialiAfter");
        QTest::newRow("parziali checks finali") << false << false << "parziali" << true << true;
        QTest::newRow("unchecking finali unchecks parziali") << true << true << "finali" << false << false;
        QTest::newRow("finali alone") << false << false << "finali" << true << false;
        QTest::newRow("unchecking parziali keeps finali") << true << true << "parziali" << true << false;
    }
    void volleyballInterlock()
    {
        QFETCH(bool, finaliBefore);
        QFETCH(bool, parzialiBefore);
        QFETCH(QString, clicked);
        QFETCH(bool, finaliAfter);
        QFETCH(bool, parzialiAfter);
        auto* finali = Check("chkPallavoloA1_finali");
        auto* parziali = Check("chkPallavoloA1_parziali");
        finali->setChecked(finaliBefore);
        parziali->setChecked(parzialiBefore);
        QTest::mouseClick(clicked == "finali" ? finali : parziali, Qt::LeftButton, {}, QPoint(6, 6));
        QCOMPARE(finali->isChecked(), finaliAfter);
        QCOMPARE(parziali->isChecked(), parzialiAfter);
    }

    void formLoadKeepsTheInterlock()
    {
        dlg->close();
        settings.PallavoloA1_finali = false;
        settings.PallavoloA1_parziali = true;
        Open();
        QVERIFY(Check("chkPallavoloA1_finali")->isChecked());
        QVERIFY(Check("chkPallavoloA1_parziali")->isChecked());
    }

    void okConvertsWaitingTime_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("stored");
        QTest::newRow("letters only") << "abc" << 0;
        QTest::newRow("half rounds to even") << "7.5" << 8;
        QTest::newRow("number and word") << "45 secondi" << 45;
    }
    void okConvertsWaitingTime()
    {
        QFETCH(QString, typed);
        QFETCH(int, stored);
        TypeInto(Edit("txtTempoAttesa"), typed);
        QTest::mouseClick(Find<QPushButton>("cmdOk"), Qt::LeftButton);
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Accepted));
        QCOMPARE(settings.TempoAttesa, stored);
    }

    void enterCopiesEveryFieldAsTyped()
    {
        TypeInto(Edit("txtSMTP"), " mail.example.net ");
        TypeInto(Edit("txtFrom"), "x");
        TypeInto(Edit("txtPallavoloDettaglio"), "*");
        QTest::mouseClick(Check("chkSerieA"), Qt::LeftButton, {}, QPoint(6, 6));
        QTest::mouseClick(Check("chkNotizie"), Qt::LeftButton, {}, QPoint(6, 6));
        TypeInto(Edit("txtDest1"), "b@example.org ");
        QTest::keyClick(Edit("txtFrom"), Qt::Key_Return); // no box left: Enter presses OK
        QTRY_VERIFY(!dlg->isVisible());
        ModMain expected = SomeSettings();
        expected.SMTP = " mail.example.net ";
        expected.From = "x";
        expected.PallavoloDettaglio = "*";
        expected.SerieA = false;
        expected.Notizie = true;
        expected.NewsDest[1] = "b@example.org";
        QVERIFY(SameVariables(settings, expected));
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
        const char* edits[] = {"txtSMTP", "txtFrom", "txtTempoAttesa", "txtPallavoloDettaglio",
                               "txtDest0", "txtDest1", "txtDest2"};
        for (const char* name : edits)
            TypeInto(Edit(name), "3498765432");
        for (QCheckBox* box : dlg->findChildren<QCheckBox*>())
            QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, 6));
        if (how == "Annulla")
            QTest::mouseClick(Find<QPushButton>("cmdAnnulla"), Qt::LeftButton);
        else if (how == "Esc")
            QTest::keyClick(Edit("txtDest2"), Qt::Key_Escape);
        else
            dlg->close();
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(dlg->result(), int(QDialog::Rejected));
        QVERIFY(SameVariables(settings, SomeSettings()));

        Open();
        QCOMPARE(Edit("txtSMTP")->text(), QString("smtp.example.org"));
        QCOMPARE(Edit("txtTempoAttesa")->text(), QString("30"));
        QCOMPARE(Edit("txtDest2")->text(), QString(" 3312345678 "));
        QVERIFY(Check("chkSerieA")->isChecked());
        QVERIFY(!Check("chkNotizie")->isChecked());
        QVERIFY(Check("chkTuttiGol")->isChecked());
    }

    void recipientRuleOnLeaving_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::newRow("spaced mobile number") << "  3412345678 " << "3412345678@" + kGateway;
        QTest::newRow("9 digits") << " 341234567 " << "341234567";
        QTest::newRow("11 digits") << "34123456789 " << "34123456789";
        QTest::newRow("other prefix") << " 3312345678" << "3312345678";
        QTest::newRow("plus sign") << "+393412345678" << "+393412345678";
        QTest::newRow("already a gateway address") << "3412345678@" + kGateway << "3412345678@" + kGateway;
    }
    void recipientRuleOnLeaving()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        auto* box = Edit("txtDest1");
        TypeInto(box, typed);
        QTest::keyClick(box, Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), Edit("txtDest2")); // the focus is never kept
        QCOMPARE(box->text(), shown);
    }

    void recipientRuleBeforeOkActs_data()
    {
        QTest::addColumn<bool>("byEnter");
        QTest::newRow("mouse on OK") << false;
        QTest::newRow("Enter in the box") << true;
    }
    void recipientRuleBeforeOkActs()
    {
        QFETCH(bool, byEnter);
        TypeInto(Edit("txtDest0"), " 3412345678 ");
        if (byEnter)
            QTest::keyClick(Edit("txtDest0"), Qt::Key_Enter);
        else
            QTest::mouseClick(Find<QPushButton>("cmdOk"), Qt::LeftButton);
        QTRY_VERIFY(!dlg->isVisible());
        QCOMPARE(settings.NewsDest[0], "3412345678@" + kGateway);
    }

    void recipientSelectedWholeOnFocus()
    {
        auto* box = Edit("txtDest0");
        QCOMPARE(box->text(), QString("a@example.org"));
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, 4));
        QTRY_COMPARE(box->selectedText(), QString("a@example.org"));
        QTest::keyClicks(box, "new@example.org");
        QCOMPARE(box->text(), QString("new@example.org"));
    }
};

QTEST_MAIN(TestFrmOptions)
#include "test_frmoptions.moc"
