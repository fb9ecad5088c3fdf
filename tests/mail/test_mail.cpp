// The mail area: status lines and mailIDs, address rules, the send log, the dispatcher, and the
// SMTP session, with exact bytes and states over a fake socket and every per-step fault over a
// real socket against a scripted server on 127.0.0.1.
#include "FakeTcpSocket.h"
#include "MailRig.h"
#include "ScriptedSmtpServer.h"
#include "mail/AddressRules.h"
#include "mail/MessageFormat.h"
#include "mail/SmtpAddress.h"
#include "platform/QtTcpSocket.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>
#include <QTimeZone>

#include <ctime>

using namespace mail;
using FakeRig = MailRig<testsupport::FakeTcpSocket, testsupport::FakeTimer>;

namespace {
// Tokens answered in turn; none left: the sign-in gave none.
struct FakeTokens final : ITokenSource {
    void Obtain(const OAuthConfig&, Mode, std::function<void(Result)> done) override
    {
        done(tokens.isEmpty() ? Result{std::nullopt, QStringLiteral("Accesso per anna annullato")}
                              : Result{tokens.takeFirst(), {}});
    }
    QStringList tokens;
};
// The AUTH line of a mechanism, "|" standing for the ^A between fields.
QByteArray AuthLine(const QByteArray& mechanism, const QByteArray& token)
{
    QByteArray response = mechanism == "XOAUTH2" ? "user=anna@example.invalid|auth=Bearer " + token + "||"
                                                  : "n,a=anna@example.invalid,|host=smtp.example.it|port=465|auth=Bearer " + token + "||";
    return "AUTH " + mechanism + ' ' + response.replace('|', '\x01').toBase64() + "\r\n";
}
const QByteArrayList kGood = testsupport::ScriptedSmtpServer::GoodReplies();
// A dispatcher tick, then the first `replies` good replies to the session it started.
void Run(FakeRig& rig, int replies)
{
    rig.dispatcher.Timer1_Timer();
    for (int i = 0; i < replies; ++i)
        rig.ws.Reply(kGood.at(i));
}
// The shown lines cut to the length of the expected starts, to compare with them.
QStringList Starts(QStringList shown, const QStringList& starts)
{
    for (int i = 0; i < shown.size() && i < starts.size(); ++i)
        shown[i].truncate(starts[i].size());
    return shown;
}
} // namespace

class TestMail : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        qputenv("TZ", "Europe/Rome"); // clocks change here: the send log shows wall-clock time on those days too
        tzset();
        QLocale::setDefault(QLocale(QLocale::Italian, QLocale::Italy)); // as our users': no English names by chance
    }

    // The line formats (an empty nickname, the 50-character preview, never half a character), and
    // an OK line that lands on its record's own line wherever ERR lines and a "Clear" moved it.
    void statusLines()
    {
        FakeRig rig;
        auto take = [&](const std::shared_ptr<CMessaggio>& record) { // as a session starts
            rig.outbox.SetInFlight(record);
            rig.outbox.mailQueue().Remove(0);
        };
        const QString s(48, 's'), t(100, 't');
        const auto c = rig.Queue(s, "\U0001F600z", "");
        QCOMPARE(rig.lstLog.Line(0), "QUEUED -  @example.it - " + s + " ");
        take(c);
        QVERIFY(rig.outbox.ClearLog());
        const auto d = rig.Queue("0123456789", t, "N"); // d now owns c's old line
        QCOMPARE(rig.lstLog.Line(0), "QUEUED - N n@example.it - 0123456789 " + t.left(39));
        rig.outbox.ReportDelivered(*c); // appended, not over d's line
        const auto a = rig.Queue("s", "t", "A");
        take(d);
        rig.outbox.ReportError("x"); // on top: d and a follow their lines; d ends (no clock to retry with)
        take(a);
        rig.outbox.ReportDelivered(*a);
        take(rig.Queue("s", "t", "B"));
        rig.outbox.ReportRefusal("550 no\r\n", Outcome::Final);
        QCOMPARE(rig.lstLog.Lines(), QStringList({"ERR - x", "ERR - N n@example.it - 0123456789 " + t.left(39),
                                                  "OK -  @example.it - " + s + ": ", "OK - A a@example.it - s: t",
                                                  "ERR - B b@example.it - s t", "550 no\r\n"}));
    }

    // What txtTo holds once left (blanks trimmed, then the mobile number rule), and whether that
    // is a gateway address, which shows the SMS counter.
    void phoneNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("left");
        QTest::addColumn<bool>("gateway");
        const QString arabic = "34\u0660\u0661\u0662\u0663\u0664\u0665\u0666\u0667";
        QTest::newRow("34 and eight digits, blanks around") << " 3401234567 " << "3401234567@gw.test" << true;
        QTest::newRow("begins with 33") << "3301234567" << "3301234567" << false;
        QTest::newRow("begins with 33, in full") << "3301234567@gw.test" << "3301234567@gw.test" << true;
        QTest::newRow("eleven digits") << "34012345678" << "34012345678" << false;
        QTest::newRow("eleven digits, in full") << "34012345678@gw.test" << "34012345678@gw.test" << false;
        QTest::newRow("Arabic-Indic digits") << arabic << arabic << false;
        QTest::newRow("Arabic-Indic digits, in full") << arabic + "@gw.test" << arabic + "@gw.test" << false;
        QTest::newRow("the domain in another case") << "3401234567@GW.test" << "3401234567@GW.test" << false;
        QTest::newRow("+39 and a plus sign") << " +393401234567 " << "+393401234567" << false;
        QTest::newRow("a blank inside") << " 340 1234567 " << "340 1234567" << false;
    }
    void phoneNumbers()
    {
        QFETCH(QString, typed);
        const QString left = ApplyMobileNumberRule(TrimSpaces(typed), "gw.test");
        QTEST(left, "left");
        QTEST(IsGatewayAddress(left, "gw.test"), "gateway");
        QCOMPARE(TrimSpaces("   ") + TrimSpaces("\t x\n"), "\t x\n"); // U+0020 only
    }

    // The default port follows Security (its word in any case, blanks around); a port in the setting wins.
    void smtpSetting_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("security");
        QTest::addColumn<QString>("expected"); // host and port, empty when refused
        QTest::newRow("bare host") << " smtp.example.it " << " none" << "smtp.example.it 25";
        QTest::newRow("bracketed IPv6 and port") << "[::1]:2525" << "tls" << "::1 2525";
        QTest::newRow("bare IPv6") << "2001:db8::5" << "StartTLS" << "2001:db8::5 587";
        QTest::newRow("bracketed IPv6") << "[::1]" << "tls " << "::1 465";
        for (const char* bad : {"", "h:0", "h:65536", "h:2x", ":25", "[::1", "[::1]x"})
            QTest::addRow("refused: '%s'", bad) << bad << "none" << "";
    }
    void smtpSetting()
    {
        QFETCH(QString, setting);
        QFETCH(QString, security);
        const SmtpAddress a = SmtpAddress::Parse(setting, DefaultPort(*ParseSecurity(security)));
        QTEST(a.valid ? a.host + ' ' + QString::number(a.port) : QString(), "expected");
        QVERIFY(!ParseSecurity("ssl") && !ParseSecurity(""));
    }

    // Each reply is answered once it is complete, however it arrives, each step armed with the
    // time-out and shown in lblDoing. Plain: the text's line breaks as CR LF, its leading dots
    // doubled, line breaks in fields as blanks. STARTTLS: EHLO again with the capabilities read in
    // clear forgotten (PLAIN was offered only before TLS, so LOGIN is used).
    void dialogue_data()
    {
        QTest::addColumn<QString>("security");
        QTest::addColumn<QList<QByteArrayList>>("replies"); // per step, in pieces; "" ends the handshake
        QTest::addColumn<QByteArrayList>("sent");           // per step
        QTest::addColumn<QString>("states");                // shown in lblDoing, in turn; the last one empty
        QTest::addColumn<QList<int>>("connect");            // port, encryption, handshakes
        const QByteArray ehlo = "EHLO [127.0.0.1]\r\n"; // our address, never the machine's name
        QTest::newRow("plain") << "none"
            << QList<QByteArrayList>{{"220-fir", "st\r\n220", "-second\r", "\n22", "0 last\r\n"}, {"250\r\n"},
                                     {"250-a\n", "250 b\n"}, {"2", "5", "0", " ", "o", "k", "\r", "\n"}, {"354 go\r\n"},
                                     {"250 queued\r\n"}}
            << QByteArrayList{"HELO ME\r\n", "MAIL FROM:<io@example.it>\r\n", "RCPT TO:<anna@x>\r\n", "DATA\r\n",
                              "Subject:Ciao Bcc: x@y\r\nFrom:I o x <io@example.it>\r\nTo:anna@x\r\n\r\n"
                              "a\r\nb\r\nc\r\n..\r\n...x\r\n.. y\r\n.\r\n", "QUIT\r\n"}
            << "1,2,3,4,5,9," << QList<int>{25, int(platform::Encryption::None), 0};
        QTest::newRow("STARTTLS and LOGIN") << "starttls"
            << QList<QByteArrayList>{{"220 hi\r\n"}, {"250-smtp\r\n250-AUTH PLAIN LOGIN\r\n250 STARTTLS\r\n"}, {"220 go\r\n"},
                                     {""}, {"250-smtp\r\n250 AUTH=LOGIN\r\n"}, {"334 VXNlcm5hbWU6\r\n"},
                                     {"334 UGFzc3dvcmQ6\r\n"}, {"235 ok\r\n"}}
            << QByteArrayList{ehlo, "STARTTLS\r\n", "", ehlo, "AUTH LOGIN\r\n", "YW5uYQ==\r\n", "cHfDqA==\r\n",
                              "MAIL FROM:<io@example.it>\r\n"}
            << "10,1,11,12,13,11,16,17,15,3,4,5,9,"
            << QList<int>{587, int(platform::Encryption::StartTls), 1};
    }
    void dialogue()
    {
        QFETCH(QString, security);
        QFETCH(QList<QByteArrayList>, replies);
        QFETCH(QByteArrayList, sent);
        FakeRig rig;
        rig.settings.Security = security;
        if (security != "none")
            rig.settings.User = "anna", rig.secrets.entries.insert("anna@smtp.example.it", "pw\u00e8");
        QSignalSpy captions(&rig.session, &SmtpSession::lblDoingChanged);
        const auto record = rig.Queue("Ciao\r\nBcc: x@y", "a\nb\rc\r\n.\n..x\n. y");
        record->mailFromName = "I\no\rx";
        record->mailTo = "anna@x";
        Run(rig, 0);
        for (int i = 0; i < replies.size(); ++i) {
            QCOMPARE(rig.timer.Starts(), i + 1); // armed per reply
            QCOMPARE(rig.timer.Interval(), rig.session.SendState() == SmtpDialogue::kDot ? 600000 : 120000);
            for (const QByteArray& piece : replies[i]) {
                QVERIFY(rig.ws.written.isEmpty() && rig.ws.closes == 0);
                rig.ws.Play({piece});
            }
            QCOMPARE(rig.ws.TakeWritten(), sent[i]);
        }
        for (const QByteArray& reply : kGood.mid(2)) // the rest of a dialogue that stopped at MAIL
            if (rig.session.SendState() != 0)
                rig.ws.Reply(reply);
        QStringList shown; // "[1] Sending to Anna" as 1
        for (const QList<QVariant>& caption : captions)
            shown << caption[0].toString().remove(QRegularExpression("^\\[|\\] Sending to Anna$"));
        QTEST(shown.join(','), "states");
        QFETCH(QList<int>, connect);
        QCOMPARE(QList<int>({rig.ws.connectedPort, int(rig.ws.connectedEncryption), rig.ws.handshakes}), connect);
        QVERIFY(rig.ws.closes == 1 && !rig.timer.IsActive());
        QCOMPARE(rig.lstLog.Lines(), QStringList{Outbox::OkLine(*record)});
    }

    // The rules around the greeting and the login; each row: settings, the server's part, the
    // lines (a reason line by its start), what was sent. What only the user can mend holds the
    // message (HELD, with the reason on top); a 4xx or 5xx to the message ends it here, where the
    // outbox has no clock to retry with, and its own line says so.
    void submissionRules_data()
    {
        QTest::addColumn<QStringList>("setup");      // Security, User, stored password, dialog answers, SMTP
        QTest::addColumn<QByteArrayList>("replies"); // "" ends the handshake, "T" a time-out
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QByteArray>("sent");
        auto row = [](const char* tag, QStringList setup, QByteArrayList replies, QStringList lines, QByteArray sent = {}) {
            QTest::newRow(tag) << setup << replies << lines << sent;
        };
        const QByteArrayList tls = {"220 hi\r\n", "250-x\r\n250 STARTTLS\r\n", "220 go\r\n", ""};
        const QByteArray again = "EHLO [127.0.0.1] STARTTLS EHLO [127.0.0.1] ";
        const QString h = "HELD - Anna anna@example.it - s t", e = "ERR - Anna anna@example.it - s t";
        const QString mend = " Correggere in File > Configurazione > Server e account e confermare con OK: i messaggi attendono.";
        row("a user without TLS", {"none", "anna", "pw", ""}, {}, {"ERR - Una password non viene mai inviata senza TLS", h});
        row("an unknown Security word", {"ssl", "", "", ""}, {},
            {"ERR - Impostazione Security non valida: \"ssl\" (none, starttls o tls)." + mend, h});
        row("a server name that is none", {"none", "", "", "", "h:0"}, {}, {"ERR - Server SMTP non valido: \"h:0\"", h});
        row("password dialog cancelled", {"tls", "anna", "", "cancel"}, {},
            {"ERR - Nessuna password data per anna@smtp.example.it. I messaggi attendono: \"Riprova ora\"", h});
        row("certificate refused", {"tls", "", "", "distrust"}, {},
            {"ERR - Certificato di smtp.example.it non accettato: self-signed (SHA-256 AB:CD).", h});
        row("STARTTLS only in EHLO's greeting line", {"starttls", "", "", ""}, {"220 hi\r\n", "250 STARTTLS\r\n"},
            {"ERR - Il server non offre STARTTLS: non è stato inviato nulla.", h}, "EHLO [127.0.0.1]");
        row("STARTTLS at the implicit-TLS port: no greeting", {"starttls", "", "", "", "smtp.example.it:465"}, {"T"},
            {"ERR - Nessuna risposta dal server entro 2 minuti. La porta 465 vuole", h});
        row("no AUTH mechanism", {"starttls", "anna", "pw", ""}, tls + QByteArrayList{"250 x\r\n"},
            {"ERR - Il server non offre né AUTH PLAIN né AUTH LOGIN", h}, again + "QUIT");
        row("AUTH refused for now", {"starttls", "anna", "pw", ""},
            tls + QByteArrayList{"250-x\r\n250 AUTH PLAIN\r\n", "454 4.7.0 try later\r\n"}, {e, "454 4.7.0 try later\r\n"},
            again + "AUTH QUIT");
        row("no TLS, no login: EHLO, then MAIL", {"tls", "", "", ""}, {"", "220 hi\r\n", "250 x\r\n", "550 no\r\n"},
            {e, "550 no\r\n"}, "EHLO [127.0.0.1] MAIL QUIT");
        row("HELO ME refused: once more with our address", {"none", "", "", ""},
            {"220 hi\r\n", "504 5.5.2 <ME>: Helo command rejected: need fully-qualified hostname\r\n", "250 ok\r\n", "550 no\r\n"},
            {e, "550 no\r\n"}, "HELO ME HELO [127.0.0.1] MAIL QUIT");
    }
    void submissionRules()
    {
        QFETCH(QStringList, setup);
        FakeRig rig;
        rig.settings.Security = setup[0];
        rig.settings.User = setup[1];
        rig.settings.SMTP = setup.value(4, rig.settings.SMTP);
        if (!setup[2].isEmpty())
            rig.secrets.entries.insert("anna@smtp.example.it", setup[2]);
        if (setup[3] == "cancel")
            rig.dialogs.passwordAnswers.enqueue({});
        rig.dialogs.trustAnswers.enqueue(false);
        rig.Queue();
        Run(rig, 0);
        if (setup[3] == "distrust")
            rig.ws.CertificateFails("self-signed", "AB:CD");
        QFETCH(QByteArrayList, replies);
        for (const QByteArray& reply : replies)
            reply == "T" ? rig.timer.Fire() : rig.ws.Play({reply});
        QFETCH(QStringList, lines);
        QCOMPARE(Starts(rig.lstLog.Lines(), lines), lines);
        QCOMPARE(rig.outbox.mailQueue().Count(), lines.last().startsWith("HELD") ? 1 : 0);
        QByteArrayList verbs; // with the name after HELO and EHLO
        for (const QByteArray& line : rig.ws.written.trimmed().split('\n'))
            verbs << line.trimmed().split(' ').mid(0, line.startsWith("HELO") || line.startsWith("EHLO") ? 2 : 1).join(' ');
        QTEST(verbs.join(' '), "sent");
        QCOMPARE(rig.session.SendState(), 0);
    }

    // Without the store, the dialog (told so) gives the password, asked once for the run. While the
    // dialog is open the session holds the dispatcher, and a late answer is its own.
    void passwordSources()
    {
        FakeRig rig;
        rig.settings.Security = "tls";
        rig.settings.User = "anna";
        auto login = [&](FakeRig& rig, const QByteArray& verdict = "235 ok\r\n") {
            Run(rig, 0);
            rig.ws.Play({"", "220 hi\r\n", "250-x\r\n250 AUTH PLAIN\r\n", verdict});
            const QByteArray response = QByteArray::fromBase64(rig.ws.TakeWritten().split('\n').value(1).trimmed().mid(11));
            if (rig.session.SendState() != 0)
                rig.ws.Fail("stop here");
            return QString::fromUtf8(response.mid(response.lastIndexOf('\0') + 1));
        };
        rig.secrets.available = false;
        rig.dialogs.passwordAnswers.enqueue({true, "typed", true}); // the box is disabled then: no effect
        for (int i = 0; i < 2; ++i)
            QVERIFY(rig.Queue() && login(rig) == "typed");
        rig.secrets.available = true;
        rig.settings.User = "bea";
        rig.Queue("s", "1");
        rig.Queue("s", "2");
        Run(rig, 0);
        QVERIFY(rig.dialogs.PasswordOpen() && rig.session.SendState() == SmtpDialogue::kPassword);
        Run(rig, 0);
        QCOMPARE(rig.outbox.mailQueue().Count(), 1);
        QCOMPARE(rig.ws.connects, 2);
        rig.dialogs.AnswerPassword({true, "b", false});
        QVERIFY(rig.ws.connects == 3 && rig.secrets.entries.isEmpty());
        const auto& asked = rig.dialogs.passwordQuestions;
        QVERIFY(asked.size() == 2 && !asked[0].storeAvailable && asked[1].storeAvailable);
        QCOMPARE(asked[1].user + "@" + asked[1].host, "bea@smtp.example.it");
        // A refused password is not taken from the store again: a new one is asked for and replaces it.
        FakeRig again;
        again.settings.Security = "tls", again.settings.User = "anna";
        again.secrets.entries.insert("anna@smtp.example.it", "stored");
        again.dialogs.passwordAnswers.enqueue({true, "new", true});
        const auto refused = again.Queue();
        QCOMPARE(login(again, "535 5.7.8 no\r\n"), "stored");
        again.outbox.CallBack(refused->mailID);
        QVERIFY(again.Queue() && login(again) == "new");
        QCOMPARE(again.secrets.entries.value("anna@smtp.example.it"), "new");
    }

    // Logging in by token over implicit TLS. steps: the server's bytes ("" ends a handshake), then
    // the exact bytes the client sends; "EHLO" stands for our EHLO line.
    void tokenLogin_data()
    {
        QTest::addColumn<QStringList>("tokens");
        QTest::addColumn<QByteArrayList>("steps");
        QTest::addColumn<QStringList>("lines");
        // Held for the user; each line starts as listed.
        const QString h = "HELD - Anna anna@example.it - s t";
        const QByteArrayList open = {"", "", "220 hi\r\n", "EHLO"};
        const QByteArray both = "250-x\r\n250 AUTH PLAIN XOAUTH2 OAUTHBEARER\r\n", xoauth2 = "250-x\r\n250 AUTH=XOAUTH2\r\n";
        const QByteArray json = "334 eyJzdGF0dXMiOiI0MDEiLCJzY2hlbWVzIjoiYmVhcmVyIn0=\r\n";
        const QByteArray quit = "QUIT\r\n";
        auto row = [](const char* tag, QStringList tokens, QByteArrayList steps, QStringList lines) {
            QTest::newRow(tag) << tokens << steps << lines;
        };
        const QString refused = "ERR - Token rifiutato dal server per anna@example.invalid@smtp.example.it: 535 5.7.8 no. Verificare";
        row("OAUTHBEARER refused twice: %x01, then the 535 listed", {"old", "new"},
            open + QByteArrayList{both, AuthLine("OAUTHBEARER", "old"), json, "AQ==\r\n", "535 5.7.8 no\r\n", quit}
                + open + QByteArrayList{both, AuthLine("OAUTHBEARER", "new"), json, "AQ==\r\n", "535 5.7.8 no\r\n", quit},
            {refused, h});
        row("a 535 at once is a refusal too", {"old"}, open + QByteArrayList{xoauth2, AuthLine("XOAUTH2", "old"), "535 5.7.8 no\r\n", quit},
            {"ERR - Accesso per anna annullato. I messaggi attendono: \"Riprova ora\"", h});
        row("neither mechanism offered", {"t1"}, open + QByteArrayList{"250 AUTH PLAIN\r\n", quit},
            {"ERR - Il server non offre l'accesso con token (né AUTH OAUTHBEARER né AUTH XOAUTH2): scegliere", h});
        row("no client id: the settings to mend", {"-"}, {}, {"ERR - Per l'accesso OAuth serve un ID client", h});
    }
    void tokenLogin()
    {
        QFETCH(QByteArrayList, steps);
        QFETCH(QStringList, tokens);
        FakeRig rig;
        FakeTokens source;
        source.tokens = tokens;
        rig.session.SetTokenSource(&source);
        rig.settings.Security = "tls";
        rig.settings.User = "anna@example.invalid";
        rig.settings.Auth = "oauth2";
        // The preset gives the addresses and the scope; a custom provider has no client id of its own.
        rig.settings.OAuthProvider = tokens.value(0) == "-" ? "custom" : "microsoft";
        rig.settings.OAuthClientId = tokens.value(0) == "-" ? "" : "id";
        rig.Queue();
        Run(rig, 0);
        for (int i = 0; i + 1 < steps.size(); i += 2) {
            rig.ws.Play({steps[i]});
            QCOMPARE(rig.ws.TakeWritten(), steps[i + 1] == "EHLO" ? "EHLO [127.0.0.1]\r\n" : steps[i + 1]);
        }
        QFETCH(QStringList, lines);
        QCOMPARE(Starts(rig.lstLog.Lines(), lines), lines);
    }

    // The locale's short date, the time with seconds and no zone name, the wall-clock time also on
    // the days clocks change; an empty nickname; CR LF.
    void sendLogEntry_data()
    {
        QTest::addColumn<QDateTime>("at");
        QTest::newRow("an ordinary day") << QDateTime(QDate(2024, 3, 5), QTime(13, 45, 7));
        QTest::newRow("clocks go back") << QDateTime(QDate(2024, 10, 27), QTime(10, 0, 7));
        QTest::newRow("clocks go forward") << QDateTime(QDate(2024, 3, 31), QTime(10, 0, 7));
    }
    void sendLogEntry()
    {
        QFETCH(QDateTime, at);
        FakeRig rig;
        rig.clock.Set(platform::ToDays(at));
        const QString date = QLocale::system().toString(at.date(), QLocale::ShortFormat);
        const QString entry = rig.sendLog.Entry(*rig.Queue("Ciao", "riga uno\r\nriga due", ""));
        const QString time = QString("\\S*%1\\S*%2\\S*07\\S*").arg(at.time().hour() % 12).arg(at.time().minute(), 2, 10, QChar('0'));
        QVERIFY2(QRegularExpression("^" + QRegularExpression::escape(date) + " " + time + "( [AP]M)? @example.it"
                                    "  - Ciao - riga uno / riga due\r\n$").match(entry).hasMatch(), qPrintable(entry));
    }

    // An address from the outbox or the news that could carry ESMTP parameters or a command never
    // reaches the wire: a final ERR line, QUIT, no later attempt. Beyond ASCII only with SMTPUTF8.
    void addressesThatCannotCarryCommands_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("err");
        QTest::addColumn<QByteArray>("ehlo"); // what EHLO offers over TLS; none: a plain HELO session
        QTest::addColumn<QByteArray>("last"); // the last line sent
        const QString refused = "ERR - Indirizzo %1 rifiutato, messaggio non inviato: %2", to = "del destinatario",
                      from = "del mittente", io = "io@example.it", ascii = "contiene caratteri non ASCII e il server non offre SMTPUTF8";
        auto row = [](const char* tag, QString from, QString to, QString err, QByteArray ehlo = {}, QByteArray last = "QUIT\r\n") {
            QTest::newRow(tag) << from << to << err << ehlo << last;
        };
        row("ESMTP parameters after >", io, "anna@example.org> NOTIFY=SUCCESS,FAILURE ORCPT=rfc822;spy@example.net",
            refused.arg(to, "contiene i caratteri < o >"));
        row("blank", io, "anna @example.it", refused.arg(to, "contiene spazi"));
        row("line break", io, "anna@x\r\nRSET", refused.arg(to, "contiene caratteri di controllo"));
        row("two @", "io@a@b", "", refused.arg(from, "contiene più di una @"));
        row("beyond ASCII, EHLO without SMTPUTF8", "ìo@example.it", "", refused.arg(from, ascii), "8BITMIME");
        row("beyond ASCII with SMTPUTF8", io, "anna@città.it", {}, "SMTPUTF8", "MAIL FROM:<io@example.it> SMTPUTF8\r\n");
        row("plain address with SMTPUTF8 offered", io, "", {}, "SMTPUTF8", "MAIL FROM:<io@example.it>\r\n");
    }
    void addressesThatCannotCarryCommands()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QByteArray, ehlo);
        QFETCH(QString, err);
        MailRig<testsupport::FakeTcpSocket, testsupport::FakeTimer, true> rig; // retries what is not final
        rig.settings.Security = ehlo.isEmpty() ? "none" : "tls";
        rig.Queue("s", "t", "Anna", to)->mailFrom = from;
        rig.dispatcher.Timer1_Timer();
        rig.ws.Play(ehlo.isEmpty() ? QByteArrayList{"220 hi\r\n", "250 ok\r\n"}
                                   : QByteArrayList{"", "220 hi\r\n", "250-x\r\n250 " + ehlo + "\r\n"});
        QTEST(rig.ws.written.mid(rig.ws.written.lastIndexOf('\n', -2) + 1), "last");
        QVERIFY(!rig.ws.written.contains("RCPT"));
        if (!err.isEmpty()) { // final: not tried again
            QCOMPARE(rig.lstLog.Lines().value(0), err);
            QVERIFY(rig.session.SendState() == 0 && rig.outbox.mailQueue().Count() == 0 && rig.OutboxFiles().isEmpty());
        }
    }

    // Headers and text: the three header lines alone for plain ASCII, UTF-8 declared when needed;
    // submission adds Date and Message-ID after To, the day and month English in any locale.
    void messageContent_data()
    {
        QTest::addColumn<QStringList>("fields"); // subject, sender name, text
        QTest::addColumn<QDateTime>("submitted"); // none: the plain session
        QTest::addColumn<QByteArray>("content");
        const QByteArray to = " <io@example.it>\r\nTo:anna@example.it\r\n", mime = "MIME-Version: 1.0\r\n"
            "Content-Type: text/plain; charset=UTF-8\r\nContent-Transfer-Encoding: 8bit\r\n";
        auto row = [](const char* tag, QStringList fields, QByteArray content, QDateTime submitted = {}) {
            QTest::newRow(tag) << fields << submitted << content;
        };
        row("empty subject and name", {"", "", "x"}, "Subject:\r\nFrom:" + to + "\r\nx\r\n");
        row("accented text only", {"s", "Io", "perché"}, "Subject:s\r\nFrom:Io" + to + mime + "\r\nperch\xc3\xa9\r\n");
        row("accented subject and name", {"Città", "Niccolò", "t"}, "Subject:=?UTF-8?B?" + QByteArray("Città").toBase64()
            + "?=\r\nFrom:=?UTF-8?B?" + QByteArray("Niccolò").toBase64() + "?=" + to + mime + "\r\nt\r\n");
        // A name with specials is quoted, or a reader splits it into other mailboxes.
        row("quotes and backslashes", {"s", "Il \"Capo\" \\ <R>", "t"},
            "Subject:s\r\nFrom:\"Il \\\"Capo\\\" \\\\ <R>\"" + to + "\r\nt\r\n");
        row("accented name with a comma", {"s", "Rè, Mario", "t"},
            "Subject:s\r\nFrom:=?UTF-8?B?" + QByteArray("Rè, Mario").toBase64() + "?=" + to + mime + "\r\nt\r\n");
        const QString longName = QString(600, '\\');
        row("quoted name too long for a line", {"s", longName, "t"},
            "Subject:s\r\nFrom:" + mail::EncodeHeaderText(longName) + to + "\r\nt\r\n");
        row("submission, west of UTC", {"s", "Io", ""}, "Subject:s\r\nFrom:Io" + to + "Date: Sun, 01 Mar 2026 09:05:07 -0330\r\n"
            "Message-ID: <u1@example.it>\r\n\r\n\r\n", QDateTime(QDate(2026, 3, 1), QTime(9, 5, 7), QTimeZone(-12600)));
        // Too long for one SMTP line: quoted-printable lines of 76 characters, the leading dot encoded.
        const QByteArray a75(75, 'a');
        row("a paragraph beyond 998 octets", {"s", "Io", "." + QString(1000, 'a')}, "Subject:s\r\nFrom:Io" + to
            + QByteArray(mime).replace("8bit", "quoted-printable") + "\r\n=2E" + a75.left(72) + "=\r\n"
            + (a75 + "=\r\n").repeated(12) + a75.left(28) + "\r\n");
    }
    void messageContent()
    {
        QFETCH(QStringList, fields);
        QFETCH(QDateTime, submitted);
        FakeRig rig;
        const auto record = rig.Queue(fields[0], fields[2]);
        record->mailFromName = fields[1];
        record->mailUid = "u1";
        QTEST(mail::MessageContent(*record, {submitted.isValid(), submitted}), "content");
    }

    // The Message-ID stays a valid msg-id whatever the sender's address and the uid hold.
    void messageId_data()
    {
        QTest::addColumn<QStringList>("uidAndFrom");
        QTest::addColumn<QByteArray>("id");
        QTest::newRow("uid at the sender's domain") << QStringList{"1b4e28ba-2fa1-11d2", "io@example.it"}
                                                    << QByteArray("<1b4e28ba-2fa1-11d2@example.it>");
        QTest::newRow("domain not ASCII") << QStringList{"u1", "io@città.it"} << QByteArray("<u1@xn--citt-3na.it>");
        QTest::newRow("no domain") << QStringList{"u1", "io"} << QByteArray("<u1@localhost>");
        QTest::newRow("domain with a bracket") << QStringList{"u1", "io@a>b"} << QByteArray("<u1@localhost>");
        QTest::newRow("uid with a final line break") << QStringList{"u1\n", "io@x.it"}
            << "<" + QCryptographicHash::hash("u1\n", QCryptographicHash::Sha1).toHex() + "@x.it>";
    }
    void messageId()
    {
        QFETCH(QStringList, uidAndFrom);
        CMessaggio record;
        record.mailUid = uidAndFrom[0], record.mailFrom = uidAndFrom[1];
        QTEST(mail::MessageIdText(record), "id");
    }

    // Encoded words of at most 75 characters, folded with CR LF and a blank, none splitting a character.
    void longAccentedHeaderIsFolded()
    {
        const QString subject = QString(40, QChar(0xe8)) + QStringLiteral("\U0001F600") + QString(10, 'a');
        const QString encoded = QString::fromLatin1(mail::EncodeHeaderText(subject)), word = "=\\?UTF-8\\?B\\?[^?]{1,63}\\?=";
        QVERIFY(QRegularExpression(QString("^(%1\r\n )+%1$").arg(word)).match(encoded).hasMatch());
        QString decoded; // word by word: a character split between two would not come back
        for (const QString& w : encoded.split("\r\n "))
            decoded += QString::fromUtf8(QByteArray::fromBase64(w.mid(10).chopped(2).toLatin1()));
        QCOMPARE(decoded, subject);
    }


    // The first due record in queue order, one session at a time, TempoAttesa read at every tick.
    // A server close after the final "." leaves the outcome open, and a late time-out adds nothing.
    void dispatcher()
    {
        FakeRig rig;
        const auto a = rig.Queue("s", "t", "A"), b = rig.Queue("s", "t", "B");
        a->mailTimeCreated = rig.clock.Now(); // just made: not older than TempoAttesa 0, so b goes first
        Run(rig, 5);
        rig.ws.PeerClose();
        rig.timer.Fire();
        rig.settings.TempoAttesa = 60; // seconds, read at every tick
        rig.clock.AdvanceSeconds(59);
        Run(rig, 0);
        QCOMPARE(rig.ws.connects, 1);
        rig.clock.AdvanceSeconds(2);
        Run(rig, 0);
        QCOMPARE(rig.session.currentMail(), a);
        const auto young = rig.Queue("s", "t", "C");
        young->mailTimeCreated = rig.clock.Now();
        rig.settings.TempoAttesa = -5; // a negative wait lets a record go at once, but not during a session
        Run(rig, 6);
        Run(rig, 6);
        QVERIFY(rig.ws.connects == 3 && rig.ws.closes == 3 && rig.outbox.mailQueue().Count() == 0);
        // The ERR line moved a's line down; its OK replaced its own queued line.
        QCOMPARE(rig.lstLog.Lines(), QStringList({"ERR - Il server ha chiuso la connessione prima della fine del "
                                                  "dialogo (dopo l'invio del messaggio: potrebbe essere stato consegnato)",
                                                  Outbox::OkLine(*a), Outbox::ErrLine(*b), Outbox::OkLine(*young)}));
        // A socket error while no session runs is still listed on top.
        rig.ws.Fail("Connection reset");
        QCOMPARE(rig.session.SendState(), 0);
        QCOMPARE(rig.lstLog.Line(0), "ERR - Connection reset");
    }

    // Over a real socket: each fault ends the session with the right lines, no false OK and no
    // log entry, and the next record still goes out. A 4xx reply, a close and a silence keep the
    // record for a retry in a minute ("RETRY 12:01", on disk); a 5xx or an odd reply ends it.
    void scriptedServer_data()
    {
        QTest::addColumn<QByteArrayList>("replies");
        QTest::addColumn<QString>("setting");  // empty: the scripted server
        QTest::addColumn<QString>("expected"); // the status lines, as a pattern
        auto row = [](QString tag, QByteArrayList replies, QString expected, QString setting = {}) {
            QTest::newRow(qPrintable(tag)) << replies << setting << expected;
        };
        const QString q = "ERR - Anna anna@example.it - s t", r = "RETRY 12:01 - Anna anna@example.it - s t",
                      ok = "OK - Anna anna@example.it - s: t";
        const QString may = " \\(dopo l'invio del messaggio: potrebbe essere stato consegnato\\)";
        for (int step = 0; step < 6; ++step) {
            const QByteArrayList before = kGood.mid(0, step);
            const QString at = " at step " + QString::number(step), err = (step < 5 ? "" : may) + "\n" + r;
            row("421" + at, before + QByteArrayList{"421 busy\r\n"}, r + "\n421 busy\r\n");
            // A 5xx to HELO ME is answered with a second HELO first.
            const QByteArrayList refusal = QByteArrayList(step == 1 ? 2 : 1, "554-no\r\n554 refused\r\n");
            row("554" + at, before + refusal, q + "\n554-no\r\n554 refused\r\n");
            row("close" + at, before + QByteArrayList{""}, "ERR - The remote host closed the connection" + err);
            row("silence" + at, before, "ERR - Nessuna risposta dal server entro 1 secondo" + err);
        }
        row("no blank after the code", {kGood[0], "250ok\r\n"}, q + "\n250ok\r\n");
        row("non-numeric code", {"2x0 hi\r\n"}, q + "\n2x0 hi\r\n");
        row("DATA answered 250", kGood.mid(0, 4) + QByteArrayList{"250 odd\r\n"}, q + "\n250 odd\r\n");
        row("final dot answered 354", kGood.mid(0, 5) + QByteArrayList{"354 odd\r\n"}, q + "\n354 odd\r\n");
        row("1 MB without a line end", {QByteArray(1 << 20, 'x')},
            "ERR - Il server ha mandato una risposta più lunga di 65536 byte\n" + r);
        // Taken as the answer to HELO, it would have put every later reply one step off.
        row("unasked reply with the greeting", {"220 hi\r\n250 early\r\n"},
            "ERR - Il server ha risposto prima della domanda: 250 early\n" + r);
        row("data after QUIT", kGood + QByteArrayList{"221 bye\r\n250 more\r\n" + QByteArray(200000, 'y')}, ok);
        row("connection refused", {}, "ERR - Connection refused\n" + r, "closed port");
    }
    void scriptedServer()
    {
        QFETCH(QByteArrayList, replies);
        QFETCH(QString, setting);
        QFETCH(QString, expected);
        testsupport::ScriptedSmtpServer server;
        server.replies = replies;
        // "closed port": one that was just listening, where nobody listens now.
        setting.replace("closed port", testsupport::ScriptedSmtpServer().Address());
        MailRig<platform::QtTcpSocket, platform::QtTimer, true> rig;
        if (expected.contains("Nessuna risposta"))
            rig.session.SetTimeouts({1000, 1000});
        rig.settings.SMTP = setting.isEmpty() ? server.Address() : setting;
        QVERIFY(rig.Queue() && rig.SendNext());
        const QString lines = rig.lstLog.Lines().join('\n');
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(expected)).match(lines).hasMatch(), qPrintable(lines));
        if (!expected.startsWith("ERR") && !expected.contains("421")) // QUIT arrived before the close
            QTRY_VERIFY(server.clientClosed && server.received.endsWith("QUIT\r\n"));
        // The next record goes out, and nothing late from the first session shows.
        server.replies = kGood;
        rig.settings.SMTP = server.Address();
        rig.session.SetTimeouts({});
        QVERIFY(rig.Queue("s", "again") && rig.SendNext());
        QCOMPARE(rig.lstLog.Lines().join('\n'), lines + "\nOK - Anna anna@example.it - s: again");
        QCOMPARE(ReadFile(rig.sendLog.Path()).count("\r\n"), expected.startsWith("OK") ? 2 : 1); // no entry for a failure
    }
};

QTEST_GUILESS_MAIN(TestMail)
#include "test_mail.moc"
