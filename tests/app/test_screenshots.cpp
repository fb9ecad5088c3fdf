// Renders the two windows to PNG files in the build folder, for a person to look at.
#include "app/frmOptions.h"
#include "frmMainFixture.h"

#include <QCoreApplication>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QtTest>

using namespace testsupport;

class TestScreenshots : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void renderWindows();
};

void TestScreenshots::renderWindows()
{
    frmMainFixture f;
    f.Configure();
    f.SetStored(QStringLiteral("Address"), QStringLiteral("SmsGateway"), QStringLiteral("sms.example.invalid"));
    QFile book(f.dataDir.filePath(QStringLiteral("rubrica.txt")));
    QVERIFY(book.open(QIODevice::WriteOnly));
    book.write("Mario,3471234567\r\nGiovanna Bianchi,giovanna@example.invalid\r\nLu,lu@example.invalid\r\n");
    book.close();
    app::frmMain& w = f.Open();
    w.show();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    // Long enough counts and a gateway address, so both counters show their widest text.
    f.Find<QLineEdit>("txtTo")->setText(QStringLiteral("3471234567@sms.example.invalid"));
    f.Find<QLineEdit>("txtNick")->setText(QStringLiteral("Mario"));
    f.Find<QLineEdit>("txtSubject")->setText(QStringLiteral("Cena"));
    f.Find<QPlainTextEdit>("txtTesto")->setPlainText(QString(1234, QLatin1Char('x')));
    w.cmdInvia_Click();
    f.Find<QPlainTextEdit>("txtTesto")->setPlainText(QStringLiteral("Ci vediamo alle otto?"));

    const QString folder = QCoreApplication::applicationDirPath();
    const QString mainPath = folder + QStringLiteral("/screenshot_frmMain.png");
    QVERIFY(w.grab().save(mainPath));

    // The dialog as the menu opens it.
    w.mnuConfigure_Click();
    auto* options = w.findChild<app::frmOptions*>();
    QVERIFY(options);
    QVERIFY(QTest::qWaitForWindowExposed(options));
    const QString optionsPath = folder + QStringLiteral("/screenshot_frmOptions.png");
    QVERIFY(options->grab().save(optionsPath));
    qInfo("screenshots: %s %s", qPrintable(mainPath), qPrintable(optionsPath));
}

QTEST_MAIN(TestScreenshots)
#include "test_screenshots.moc"
