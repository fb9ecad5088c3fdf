#include "../mail/MailRig.h"
#include "FakeHttpClient.h"
#include "LocalSmtpServer.h"
#include "HostilePeers.h"
#include "news/Extractors.h"
#include "news/NewsFetcher.h"
#include "news/PageScan.h"
#include "platform/QtHttpClient.h"
#include "platform/QtTcpSocket.h"
#include "platform/Timer.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;
using namespace news;
using platform::QtHttpClient;

namespace {

// The fixture pages, written for these tests after the layouts the extractions expect.
const QString kFixtures = qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/news/fixtures/"_L1;

QString Fixture(const QString& name) { return QString::fromLatin1(ReadFile(kFixtures + name)); }

// The news part of the main window over a fake clock, and over the real HTTP client when
// given its time-out, else over a fake one; the mail rig behind it sends what it queues.
struct Rig : MailRig<platform::QtTcpSocket, platform::QtTimer> {
    explicit Rig(int timeoutMs = 0)
        : real(timeoutMs), inet1(timeoutMs ? static_cast<platform::IHttpClient&>(real) : fake),
          digest(outbox, settings, clock, [] { return u"Io"_s; },
                 [this](const QString& t) { captions << QString::number(outbox.mailQueue().Count()) + ' ' + t; }),
          fetcher(inet1, settings, clock, digest)
    {
        QObject::connect(&inet1, &platform::IHttpClient::stateChanged,
                         [this](int state) { fetcher.Inet1_StateChanged(state); });
        settings.From = u"me@x.org"_s;
        settings.NewsDest = {u"a@x.org"_s, u"  "_s, QString()};
    }

    // One page's worth of results or headlines, as the completion handler offers them.
    QString Page(const QStringList& lines, bool headlines = false)
    {
        digest.newsSubject = u"News"_s;
        digest.newsText.clear();
        for (const QString& line : lines)
            headlines ? digest.OfferHeadline(line) : digest.OfferResult(line, u"Calcio"_s);
        return digest.newsText;
    }

    // One tick, and the end of the request it started.
    bool TickAndWait()
    {
        clock.AdvanceSeconds(3);
        fetcher.Timer2_Timer();
        return inet1.IsExecuting() && QTest::qWaitFor([this] { return !inet1.IsExecuting(); }, 20000);
    }

    testsupport::FakeHttpClient fake;
    QtHttpClient real;
    platform::IHttpClient& inet1;
    QStringList captions; // each after the number of records queued before it
    NewsDigest digest;
    NewsFetcher fetcher;
};

} // namespace

class TestNews : public QObject {
    Q_OBJECT
    QTemporaryDir m_pages;
    testsupport::ExternalServer m_servers[3];
    QStringList m_hosts; // volleyball, headlines, football

private slots:
    void initTestCase()
    {
        // Real HTTP servers serve the fixture pages under the paths the program asks for.
        for (const auto& [fixture, served] : QList<std::pair<QString, QString>>{
                 {"volley/RisultatiOnLine.asp", kVolleyPath.section('?'_L1, 0, 0)}, {"news/index.html", "index.html"},
                 {"football/serie_a.html", kSerieAPath}, {"football/serie_b.html", kSerieBPath}})
            QVERIFY(QDir(m_pages.path()).mkpath(QFileInfo(m_pages.filePath(served)).path()) &&
                    QFile::copy(kFixtures + fixture, m_pages.filePath(served)));
        for (auto& server : m_servers) {
            QVERIFY(server.Start({"-m", "http.server", "0", "--bind", "127.0.0.1", "--directory", m_pages.path()},
                                 QRegularExpression(u"Serving HTTP on 127\\.0\\.0\\.1 port (\\d+)"_s)));
            m_hosts << u"127.0.0.1:%1"_s.arg(server.Port());
        }
    }

    void extractElement_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QString>("parts"); // before|attributes|inner|after; "-" not found; "!" error
        QTest::newRow("no closing tag") << "<td>A" << "td" << "-";
        QTest::newRow("closing tag with a blank") << "<b>1</b >rest" << "b" << "||1|rest";
        QTest::newRow("plain form first") << "a<b>1</b><b x>2</b>" << "b" << "a||1|<b x>2</b>";
        QTest::newRow("blank form first") << "a<b x>1</b><b>2</b>" << "b" << "a|x|1|<b>2</b>";
        QTest::newRow("attributes kept raw") << "<td  class=\"x\" />A</td>" << "td" << "| class=\"x\" /|A|";
        QTest::newRow("case-sensitive") << "<TD>A</TD>" << "td" << "-";
        QTest::newRow("line break after the name") << "<td\n>A</td>" << "td" << "-";
        QTest::newRow("b is neither br nor body") << "<br><body>x</body><b>y</b>" << "b" << "<br><body>x</body>||y|";
        QTest::newRow("no nesting") << "<td>1<td>2</td>3</td>" << "td" << "||1<td>2|3</td>";
        QTest::newRow("first > ends the opening tag") << "<a title=\"x>y\">L</a>" << "a" << "|title=\"x|y\">L|";
        QTest::newRow("closing tag without >: nothing after") << "<b>1</b and more" << "b" << "||1|";
        QTest::newRow("closing tag in an attribute value") << "<tr title=\"a </tr> b\">x</tr>" << "tr" << "!";
        QTest::newRow("opening tag never ended") << "<td x </td " << "td" << "!";
    }

    void extractElement()
    {
        QFETCH(QString, text);
        QFETCH(QString, tag);
        // The remainder of a walk is passed as text and as an output at once.
        QStringView attributes, before, inner, rest = text;
        QString got = u"!"_s;
        try {
            const bool found = ExtractElement(rest, tag, attributes, before, inner, rest);
            got = QStringList{before.toString(), attributes.toString(), inner.toString(), rest.toString()}.join('|'_L1);
            got = found ? got : got == text + "|||" ? u"-"_s : "?" + got;
        } catch (const containers::Error& error) {
            QCOMPARE(error.Number(), kInvalidArgumentErrorNumber);
        }
        QTEST(got, "parts");
    }

    void extraction_data()
    {
        // Each by the first word of the row's name, on a fixture or a text; what fromTickToSmtpServer
        // does not cover already.
        QTest::addColumn<QString>("page");
        QTest::addColumn<bool>("more"); // PallavoloA1_parziali with PallavoloDettaglio "*", or TuttiGol
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("volley partials, detail for all") << "volley/RisultatiOnLine.asp" << true
            << QStringList{"Beta - Delta 3-1 [25-20 22-25 25-18 25-23]",
                           "Zeta - Theta <font color=\"red\">2-3 [25-20 22-25 25-18 23-25 13-15]",
                           "Kappa - Mu 2-1 [25-21 19-25 25-17 10-8]",
                           "Xi - Omicron <font color=red>3-0 [25-10 25-11 25-12]", " - Upsilon 0-3 [10-25 11-25 12-25]",
                           "Chi - Omega "};
        QTest::newRow("volley partials, no followed team") << "volley/RisultatiOnLine.asp" << true
            << QStringList{"Beta - Delta 3-1", "Zeta - Theta <font color=\"red\">2-3", "Kappa - Mu 2-1",
                           "Xi - Omicron <font color=red>3-0", " - Upsilon 0-3", "Chi - Omega "};
        QTest::newRow("football without scorers") << "football/serie_a.html" << false
            << QStringList{"Aquile-Lupi 2-1", "Falchi-Orsi ", "Volpi-Tassi 0-0"};
        QTest::newRow("headline without a link: tags kept") << "<strong>Uno <em>due</em>\n</strong>" << false
            << QStringList{"Uno <em>due</em>\n"};
        QTest::newRow("name: tab, nbsp no blanks") << "Uno\tDue&nbsp;Tre" << false << QStringList{"Uno\tDue&nbsp;Tre"};
        QTest::newRow("scorers on lines") << "Rossi 12'<br>\r\nBianchi 80'<br>" << false
            << QStringList{"Rossi 12'Bianchi 80'"};
        QTest::newRow("scorers: capital BR stays") << "x<BR>y" << false << QStringList{"x<BR>y"};
        // Ten halving passes: 1024 blanks become one, 1025 keep two.
        QTest::newRow("scorers, 1024 blanks") << "a" + QString(1024, u' ') + "b" << false << QStringList{"a b"};
        QTest::newRow("scorers, 1025 blanks") << "a" + QString(1025, u' ') + "b" << false << QStringList{"a  b"};
    }

    void extraction()
    {
        QFETCH(QString, page);
        QFETCH(bool, more);
        settings::ModMain settings;
        settings.PallavoloA1_parziali = settings.TuttiGol = more;
        settings.PallavoloDettaglio = QByteArray(QTest::currentDataTag()).contains("no followed team") ? QString() : u"*"_s;
        QStringList offered;
        const auto offer = [&](const QString& line, const QString& = {}) { offered << line; };
        const QLatin1StringView kind(QTest::currentDataTag());
        if (kind.startsWith("volley"_L1) || kind.startsWith("football"_L1))
            (kind.startsWith("volley"_L1) ? ExtractVolley : ExtractFootball)(Fixture(page), settings, offer);
        else if (kind.startsWith("headline"_L1))
            ExtractHeadline(page, offer);
        else
            offer(kind.startsWith("scorers"_L1) ? CleanScorers(page) : PallavoloAbbreviazioni(page));
        QTEST(offered, "lines");
    }

    void digestAndDelivery()
    {
        Rig rig;
        const QString a(70, u'a'), b(70, u'b'), c(30, u'c'), x(100, u'x'), h(300, u'h');
        // In order: 70 + 5 + 70 passes 140, so b is dropped unrecorded and the shorter c still joins;
        // the next fetch offers b again; nothing new keeps the start subject; 141 and 140; a long
        // first line whole; case counts. Headlines: no length rule; a seen one, the empty one too,
        // gives nothing.
        const QStringList got{rig.Page({a, b, c}), rig.Page({a, b, c}), rig.Page({a, b, c}), rig.digest.newsSubject,
                              rig.Page({x, QString(36, u'y'), QString(35, u'y')}), rig.Page({h, u"z"_s}),
                              rig.Page({u"Uno"_s, u"Uno"_s, u"uno"_s}), rig.Page({h + h}, true),
                              rig.Page({h + h, {}, {}}, true)};
        QCOMPARE(got, QStringList({a + " --- " + c, b, "", "News", x + " --- " + QString(35, u'y'), h, "Uno --- uno",
                                   h + h, ""}));

        // Delivery.
        rig.lstLog.InsertLine(0, u"earlier line"_s);
        const QString text = u"Beta - Delta 3-1 [25-20 22-25 25-18 25-23] --- Zeta - Theta 3-2"_s;
        // Three recipients; then blank slots skipped, a blank before an address kept, a tab is no blank;
        // then no slot used: nothing queued.
        for (const QStringList& slotTexts :
             {QStringList{"a@x", "b@x", "c@x"}, QStringList{" d@x", "   ", "\t"}, QStringList{"", " ", "  "}}) {
            std::copy(slotTexts.cbegin(), slotTexts.cend(), rig.settings.NewsDest.begin());
            rig.digest.DeliverNews(u"Volley"_s, text);
        }
        QCOMPARE(rig.captions, QStringList({"0 " + text, "3 " + text, "5 " + text})); // each before its records
        QStringList lines{u"earlier line"_s};
        for (const QString& to : QStringList{"a@x", "b@x", "c@x", " d@x", "\t"}) // previews of 50 characters
            lines << "QUEUED - " + to + " " + to + " - Volley: Beta - Delta 3-1 [25-20 22-25 25-18 25-23]";
        QCOMPARE(rig.lstLog.Lines(), lines);
        QCOMPARE(rig.outbox.mailQueue().Value(4).ObjectAs<mail::CMessaggio>()->mailTimeCreated, rig.clock.Now());
    }

    void fetcher()
    {
        // Table order; each page again after its own minimum time counted from the start of its
        // last (failed) request, on the first free tick after it (a tick at the exact boundary may
        // fall either side by rounding, and two pages due at once go one tick apart).
        Rig timed;
        timed.settings.PallavoloA1_finali = timed.settings.Notizie = true;
        timed.settings.SerieA = timed.settings.SerieB = true;
        QMap<QString, QList<qint64>> startedAt; // by path, in seconds; each request fails at once
        for (int i = 0; i < 121; ++i, timed.clock.AdvanceSeconds(3)) {
            timed.fetcher.Timer2_Timer();
            if (timed.fake.IsExecuting()) {
                startedAt[timed.fake.requests.last().path] << qRound64(timed.clock.Now() * platform::kSecondsPerDay);
                timed.fake.Fail();
            }
        }
        int first = 0;
        for (const auto& [path, minimum] :
             QList<std::pair<QString, int>>{{kVolleyPath, 168}, {kNewsPath, 120}, {kSerieAPath, 114}, {kSerieBPath, 138}}) {
            QCOMPARE(timed.fake.requests[first++].path, path);
            const QList<qint64>& at = startedAt[path];
            QVERIFY(at.size() >= 3);
            for (qsizetype i = 1; i < at.size(); ++i)
                QVERIFY(at[i] - at[i - 1] >= minimum && at[i] - at[i - 1] <= minimum + 9);
        }

        // Pages given up; the switches read afresh at every tick; one request at a time.
        Rig rig;
        rig.settings.PallavoloA1_parziali = true; // either volleyball switch asks
        rig.fetcher.Timer2_Timer();
        rig.fake.Finish(Fixture(u"broken/nobody.html"_s)); // no complete body: nothing taken
        QVERIFY(!rig.digest.IsSeen(u"Beta - Delta 3-0"_s) && rig.lstLog.LineCount() == 0);
        rig.settings.PallavoloA1_parziali = false;
        rig.settings.SerieA = rig.settings.SerieB = true;
        rig.fetcher.Timer2_Timer();
        rig.clock.AdvanceSeconds(300);
        rig.fetcher.Timer2_Timer();
        rig.fetcher.Inet1_StateChanged(3); // not ended: nothing read
        QVERIFY(rig.fake.reads == 1 && rig.fake.requests.size() == 2);
        // Only the football extraction runs on a page from the football host.
        rig.fake.Finish(Fixture(u"volley/RisultatiOnLine.asp"_s));
        rig.settings.SerieA = rig.settings.SerieB = false;
        rig.settings.PallavoloA1_finali = true;
        rig.clock.AdvanceSeconds(600);
        rig.fetcher.Timer2_Timer();
        // An error ends the page silently; what was recorded before it stays.
        rig.fake.Finish(Fixture(u"broken/closing_tag_in_attribute.html"_s));
        QVERIFY(rig.digest.IsSeen(u"Beta - Delta 3-0"_s) && !rig.digest.IsSeen(u"Xi - Rho 3-2"_s));
        rig.settings.Notizie = true; // Serie A and B, due but off, are not asked
        rig.fetcher.Timer2_Timer();
        QCOMPARE(rig.fake.requests.last().path, kNewsPath);
    }

    // The route of the news: page servers, the real client, a real SMTP server; then a football
    // server that streams an endless body (bounded, should the client not stop) is cut, and the
    // request ends as any other.
    void fromTickToSmtpServer()
    {
        qint64 sent = 0;
        testsupport::ScriptedPeer endless({}, testsupport::AnswerHttp([&sent](QTcpSocket& s) {
            s.write("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n<html><body>");
            QObject::connect(&s, &QTcpSocket::bytesWritten, &s, [&sent, &s](qint64 n) {
                if ((sent += n) < (64 << 20) && s.state() == QTcpSocket::ConnectedState)
                    s.write(QByteArray(16 * 1024, 'x'));
            });
        }));
        Rig rig(QtHttpClient::kDefaultTimeoutMs);
        // As the store keys News/VolleyHost, News/NewsHost and News/FootballHost set them.
        std::tie(rig.settings.VolleyHost, rig.settings.NewsHost, rig.settings.FootballHost) =
            std::tie(m_hosts[0], m_hosts[1], m_hosts[2]);
        rig.settings.PallavoloA1_finali = rig.settings.Notizie = rig.settings.SerieA = true;
        rig.settings.SerieB = rig.settings.TuttiGol = true;
        rig.settings.PallavoloDettaglio = u"ta d"_s; // the short names joined by a blank, in any case
        for (int i = 0; i < 4; ++i)
            QVERIFY(rig.TickAndWait());

        // The records take the road of every message: the dispatcher, the session, the server.
        QTemporaryDir received;
        testsupport::LocalSmtpServer smtp;
        QVERIFY(smtp.Start(received.path()));
        rig.settings.SMTP = smtp.Setting();
        rig.clock.AdvanceSeconds(rig.settings.TempoAttesa + 1);
        for (int i = 0; i < 4; ++i)
            QVERIFY(rig.SendNext());
        QStringList mails;
        for (const QString& name : QDir(received.path()).entryList({u"*.eml"_s}, QDir::Files, QDir::Name))
            mails << QString::fromUtf8(ReadFile(received.filePath(name)));
        const QString to = u"\r\nFrom:Io <me@x.org>\r\nTo:a@x.org\r\n\r\n"_s;
        QCOMPARE(mails, QStringList({"Subject:Volley" + to + "Beta - Delta 3-1 [25-20 22-25 25-18 25-23] --- "
                                                             "Zeta - Theta <font color=\"red\">2-3 ---  - Upsilon 0-3\r\n",
                                     "Subject:News" + to + "Il ponte riapre domani dopo i lavori\r\n",
                                     "Subject:Calcio" + to + "Aquile-Lupi 2-1 Rossi 12' Bianchi 80'  Verdi 45' --- "
                                                             "Falchi-Orsi --- Volpi-Tassi 0-0\r\n",
                                     "Subject:Calcio" + to + "Cervi-Daini 1-3 Neri 3' Gialli 10'Gialli 55'Viola 90'\r\n"}));

        rig.settings.FootballHost = endless.HostPort();
        rig.settings.PallavoloA1_finali = rig.settings.Notizie = rig.settings.SerieB = false;
        rig.clock.AdvanceSeconds(200);
        QVERIFY(rig.TickAndWait() && rig.outbox.mailQueue().Count() == 0);
        // The body was cut and kept, and exactly its first 100,000 characters were read.
        const QString rest = rig.inet1.ReadBody(kMaxPageLength);
        QVERIFY(sent < (64 << 20) && !rest.isEmpty() && rest.size() <= QtHttpClient::kDefaultBodyLimit - kMaxPageLength);
    }

    // With partial results on, every change of a running match's line is news again; a line
    // sent before is not. Each fetch is a page with one match: its score and set cells.
    void runningMatch_data()
    {
        QTest::addColumn<QStringList>("pages");
        QTest::addColumn<QStringList>("sent");
        const QString a = u"1-1|25-20|20-25|5-3"_s, sentA = u"0 Beta - Mu 1-1 [25-20 20-25 5-3]"_s;
        const QString b = u"1-1|25-20|20-25|6-3"_s, sentB = u"1 Beta - Mu 1-1 [25-20 20-25 6-3]"_s;
        QTest::newRow("set points move") << QStringList{a, b, b} << QStringList{sentA, sentB};
        QTest::newRow("back to a line sent before") << QStringList{a, b, a} << QStringList{sentA, sentB};
    }
    void runningMatch()
    {
        QFETCH(QStringList, pages);
        Rig rig;
        rig.settings.PallavoloA1_parziali = true;
        rig.settings.PallavoloDettaglio = u"*"_s;
        for (const QString& page : pages) {
            QStringList cells = page.split('|'_L1);
            const QString score = cells.takeFirst();
            rig.fetcher.Timer2_Timer();
            rig.fake.Finish(u"<body><tr class=\"Acquisto\"><td>Alfa Beta</td><td>Kappa Mu</td><td><b>%1</b></td><td>%2</td></tr></body>"_s
                                .arg(score, cells.join("</td><td>"_L1)));
            rig.clock.AdvanceSeconds(200);
        }
        QTEST(rig.captions, "sent"); // each after the number of records queued before it
    }
};

QTEST_GUILESS_MAIN(TestNews)
#include "test_news.moc"
