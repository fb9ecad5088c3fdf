// A message typed into the window arrives at a real SMTP server on the loopback.
#include "ExternalServer.h"
#include "FakeHttpClient.h"
#include "Fakes.h"
#include "app/frmMain.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace testsupport;

class TestFrmMainEndToEnd : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void typedMessageReachesServer();
};

void TestFrmMainEndToEnd::typedMessageReachesServer()
{
    QTemporaryDir dataDir;
    QTemporaryDir mailDir;
    ExternalServer server;
    const QString sink = qEnvironmentVariable("BREVILO_SOURCE_DIR") + QStringLiteral("/tests/support/smtp_sink.py");
    QVERIFY2(server.Start({sink, mailDir.path()}, QRegularExpression(QStringLiteral("READY (\\d+)"))),
             qPrintable(server.Output()));

    MemorySettingsStore store;
    auto set = [&](const char* key, const QString& value) {
        store.values.insert(MemorySettingsStore::Key("Brevilo", "Address", QLatin1String(key)), value);
    };
    set("SMTP", QStringLiteral("127.0.0.1:%1").arg(server.Port()));
    set("From", QStringLiteral("anna@example.invalid"));
    set("Name", QStringLiteral("Anna"));
    set("TempoAttesa", QStringLiteral("0"));
    FakeDialogs dialogs;
    FakeDesktop desktop;
    FakeHttpClient inet1;
    app::frmMainDeps deps; // real clock, socket and timers
    deps.store = &store;
    deps.dialogs = &dialogs;
    deps.desktop = &desktop;
    deps.inet1 = &inet1;
    deps.dataDirectory = dataDir.path();
    app::frmMain w(deps);
    w.show();
    QVERIFY(QTest::qWaitForWindowActive(&w));

    auto* to = w.findChild<QLineEdit*>(QStringLiteral("txtTo"));
    QTest::mouseClick(to, Qt::LeftButton);
    QTest::keyClicks(to, QStringLiteral("bea@example.invalid"));
    QTest::keyClicks(w.findChild<QLineEdit*>(QStringLiteral("txtSubject")), QStringLiteral("Cena"));
    auto* testo = w.findChild<QPlainTextEdit*>(QStringLiteral("txtTesto"));
    QTest::keyClicks(testo, QStringLiteral("Alle otto"));
    QTest::keyClick(testo, Qt::Key_Return);
    QTest::keyClicks(testo, QStringLiteral(".da Gino"));
    QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdInvia")), Qt::LeftButton);
    QVERIFY(dialogs.shown.isEmpty());

    auto* log = w.findChild<QListWidget*>(QStringLiteral("lstLog"));
    QTRY_VERIFY_WITH_TIMEOUT(log->item(0)->text().startsWith(QStringLiteral("OK - ")), 20000);
    QCOMPARE(log->item(0)->text(), QStringLiteral("OK -  bea@example.invalid - Cena: Alle otto\n.da Gino"));
    QTRY_COMPARE(w.findChild<QLabel*>(QStringLiteral("lblDoing"))->text(), QString());

    QFile envelope(mailDir.filePath(QStringLiteral("0001.json")));
    QTRY_VERIFY(envelope.exists());
    QVERIFY(envelope.open(QIODevice::ReadOnly));
    const QJsonObject meta = QJsonDocument::fromJson(envelope.readAll()).object();
    QCOMPARE(meta.value(QStringLiteral("mail_from")).toString(), QStringLiteral("anna@example.invalid"));
    QFile message(mailDir.filePath(QStringLiteral("0001.eml")));
    QVERIFY(message.open(QIODevice::ReadOnly));
    const QByteArray raw = message.readAll();
    QVERIFY2(raw.contains("Subject:Cena\r\nFrom:Anna <anna@example.invalid>\r\nTo:bea@example.invalid\r\n\r\n"),
             raw.constData());
    // The line that starts with a dot arrives as typed.
    QVERIFY2(raw.contains("Alle otto\r\n.da Gino"), raw.constData());

    QFile sendLog(dataDir.filePath(QStringLiteral("log.txt")));
    QVERIFY(sendLog.open(QIODevice::ReadOnly));
    QVERIFY(sendLog.readAll().contains(" bea@example.invalid  - Cena - Alle otto"));
}

QTEST_MAIN(TestFrmMainEndToEnd)
#include "test_frmmain_e2e.moc"
