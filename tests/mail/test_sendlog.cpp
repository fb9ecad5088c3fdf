#include "Fakes.h"
#include "mail/SendLog.h"

#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace mail;

namespace {
CMessaggio Mail(const QString& nick, const QString& subject, const QString& text)
{
    CMessaggio m;
    m.mailToNick = nick;
    m.mailTo = QStringLiteral("ann@x.it");
    m.mailSubject = subject;
    m.mailText = text;
    return m;
}

QByteArray ReadAll(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
}
} // namespace

class TestSendLog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void entriesAreAppendedWithCrLf()
    {
        QTemporaryDir dir;
        // 2024-03-05 13:45:07 local time.
        testsupport::FakeClock clock(platform::ToDays(QDateTime(QDate(2024, 3, 5), QTime(13, 45, 7))));
        SendLog log(dir.path(), clock);
        QCOMPARE(log.Path(), dir.filePath("log.txt"));
        QVERIFY(!QFile::exists(log.Path()));

        log.WriteSendLog(Mail("Ann", "Ciao", "riga uno\r\nriga due"));
        log.WriteSendLog(Mail("", "", "città è già"));

        const QByteArray bytes = ReadAll(log.Path());
        const QString stamp = QLocale::system().toString(QDate(2024, 3, 5), QLocale::ShortFormat) + ' ';
        // Address before nickname; an empty nickname leaves two blanks before the dash;
        // the text's own line break is written as it stands.
        const QRegularExpression entries(
            "^" + QRegularExpression::escape(stamp) + "(\\S+( [AP]M)?) ann@x.it Ann - Ciao - riga uno\r\n"
            "riga due\r\n" + QRegularExpression::escape(stamp)
            + "(\\S+( [AP]M)?) ann@x.it  -  - città è già\r\n$");
        const QRegularExpressionMatch match = entries.match(QString::fromUtf8(bytes));
        QVERIFY2(match.hasMatch(), bytes.constData());
        // Time with seconds and no zone name.
        QVERIFY2(match.captured(1).contains("45") && match.captured(1).contains("07"), qPrintable(match.captured(1)));
        QVERIFY(bytes.contains("città è già")); // UTF-8, nothing lost
    }

    void failuresAreSilent()
    {
        QTemporaryDir dir;
        testsupport::FakeClock clock;
        SendLog log(dir.filePath("no/such/directory"), clock);
        log.WriteSendLog(Mail("Ann", "s", "t"));
        QVERIFY(!QFile::exists(log.Path()));
    }
};

QTEST_GUILESS_MAIN(TestSendLog)
#include "test_sendlog.moc"
