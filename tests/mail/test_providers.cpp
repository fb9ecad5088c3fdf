// Finding the submission settings from an address: the built-in table, the published files
// (parsed as untrusted input), the order in which the sources count, the time limit, and the
// real HTTPS client against files served on 127.0.0.1 with a certificate made for the test.
#include "FakeLookupSeams.h"
#include "Fakes.h"
#include "HttpsFiles.h"
#include "mail/ProviderLookup.h"
#include "platform/QtDnsResolver.h"
#include "platform/QtSecureHttpClient.h"

#include <QSignalSpy>
#include <QTest>

using namespace mail;
using namespace testsupport;

namespace {

QByteArray Server(const QString& host, const QString& port, const QString& socketType,
                  const QString& auth = "password-cleartext", const QString& user = "%EMAILADDRESS%")
{
    return QString("<outgoingServer type=\"smtp\"><hostname>%1</hostname><port>%2</port><socketType>%3</socketType>"
                   "<authentication>%4</authentication><username>%5</username></outgoingServer>")
        .arg(host, port, socketType, auth, user)
        .toUtf8();
}

QByteArray File(const QByteArray& servers)
{
    return "<?xml version=\"1.0\"?>\n<clientConfig version=\"1.1\"><emailProvider id=\"example.it\">"
                    "<domain>example.it</domain><incomingServer type=\"imap\"><hostname>imap.example.it</hostname>"
                    "<port>993</port><socketType>SSL</socketType></incomingServer>"
           + servers + "</emailProvider></clientConfig>";
}

// What a person would see filled in, on one line.
QString Summary(const std::optional<ProviderSettings>& s)
{
    const char* auth = s && s->auth == ProviderSettings::Auth::OAuth2 ? "oauth2" : "password";
    return s ? QStringList{s->ServerSetting(), s->security, s->user, auth, s->oauthProvider}.join('|') : QString();
}

QString Summary(const ProviderLookup::Outcome& o)
{
    return o.settings ? Summary(o.settings) + " / " + o.line : o.line;
}

struct Rig {
    FakeSecureHttpClient http;
    FakeDnsResolver dns;
    FakeTimer limit;
    ProviderLookup lookup{http, dns, limit};
    QSignalSpy done{&lookup, &ProviderLookup::finished};
};

} // namespace

class TestProviders : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // The table answers at once, contacting nothing; the login is the address.
    void knownProviders_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("expected"); // the settings, and the source named after the domain
        QTest::newRow("gmail.com") << "anna@gmail.com" << "smtp.gmail.com:465|tls|anna@gmail.com|oauth2|google / gmail.com";
        QTest::newRow("name, brackets, capitals") << " Anna <Anna@Libero.IT> " << "smtp.libero.it:465|tls|Anna@Libero.IT|password| / libero.it";
        // A browser sign-in with no preset for the server would leave the person stuck: password.
        QTest::newRow("OAuth2 without a preset") << "anna@aim.com" << "smtp.aol.com:465|tls|anna@aim.com|password| / aim.com";
        const QString ask = "Scrivere prima il proprio indirizzo e-mail (From), per esempio nome@esempio.it";
        QTest::newRow("no address") << "" << ask;
        QTest::newRow("domain without a dot") << "anna@localhost" << ask;
    }
    void knownProviders()
    {
        QFETCH(QString, address);
        Rig rig;
        rig.lookup.Start(address);
        QCOMPARE(rig.done.size(), 1);
        QTEST(Summary(rig.lookup.Result()).replace(" / Impostazioni note per ", " / "), "expected");
        QVERIFY(rig.http.asked.isEmpty() && rig.dns.asked.isEmpty() && !rig.lookup.IsRunning() && !rig.limit.IsActive());
    }

    void providerFile_data()
    {
        QTest::addColumn<QByteArray>("xml");
        QTest::addColumn<QString>("expected");
        const QString ssl = "smtp.example.it:465|tls|anna@example.it|password|";
        const auto at465 = [](const QString& auth = "password-cleartext", const QString& host = "smtp.example.it") {
            return Server(host, "465", "SSL", auth);
        };
        const QByteArray plain = Server("plain.example.it", "25", "plain");
        QTest::newRow("STARTTLS, local part, domain in the host")
            << File(Server("mail.%EMAILDOMAIN%", "587", "STARTTLS", "password-cleartext", "%EMAILLOCALPART%"))
            << "mail.example.it:587|starttls|anna|password|";
        QTest::newRow("plain only") << File(plain) << "(plain)";
        QTest::newRow("incoming only") << File({}) << "";
        QTest::newRow("OAuth2 only, no preset") << File(at465("OAuth2")) << "smtp.example.it:465|tls|anna@example.it|oauth2|";
        QTest::newRow("plain, a method unknown here, then a usable server")
            << File(plain + at465("NTLM", "ntlm.example.it") + at465()) << ssl;
        QTest::newRow("no login") << File(at465("none")) << "smtp.example.it:465|tls||password|";
        QTest::newRow("port out of range") << File(Server("smtp.example.it", "65536", "SSL")) << "";
        QTest::newRow("port 0") << File(Server("smtp.example.it", "0", "SSL")) << "";
        QTest::newRow("host with a space") << File(at465("password-cleartext", "smtp.example.it evil")) << "";
        QTest::newRow("unknown socket type") << File(Server("smtp.example.it", "465", "TLS1.3")) << "";
        QTest::newRow("external entity") << File(at465("password-cleartext", "&h;"))
                                                .replace("<clientConfig", "<!DOCTYPE clientConfig [<!ENTITY h SYSTEM \"file:///etc/hostname\">]><clientConfig") << "";
        QTest::newRow("cut short") << File(at465()).left(300) << "";
        QByteArray big = File(at465());
        big.insert(big.indexOf("<clientConfig"), "<!--" + QByteArray(kMaxProviderFileBytes - big.size() - 7, 'x') + "-->");
        QTest::newRow("64 KiB exactly, the address as login") << big << ssl;
        QTest::newRow("a byte more") << big.insert(big.indexOf("-->"), 'x') << "";
    }
    void providerFile()
    {
        QFETCH(QByteArray, xml);
        ProviderMiss miss = ProviderMiss::None;
        const QString found = Summary(ParseProviderFile(xml, MailAddress::Parse("anna@example.it"), &miss));
        QTEST(miss == ProviderMiss::PlainOnly ? found + "(plain)" : found, "expected");
    }

    // Every source is asked at once; the answers count in their order, whenever they arrive.
    void order_data()
    {
        QTest::addColumn<QStringList>("answers"); // "source=value", in the order they arrive; the last one ends it
        QTest::addColumn<QString>("expected");
        const QString pw = "|anna@example.it|password| / ", own = "Impostazioni pubblicate da example.it",
                      dns = "Impostazioni pubblicate nel DNS di example.it";
        QTest::newRow("own file first, though it answers last")
            << QStringList{"db=db.example.net", "well=well.example.it", "auto=own.example.it"} << "own.example.it:465|tls" + pw + own;
        QTest::newRow("well-known file waits for the autoconfig host")
            << QStringList{"well=well.example.it", "db=db.example.net", "auto=-"} << "well.example.it:465|tls" + pw + own;
        QTest::newRow("database after the domain's own") << QStringList{"db=db.example.net", "auto=-", "well=-"}
                                                         << "db.example.net:465|tls" + pw + "Impostazioni dall'archivio pubblico dei provider per example.it";
        QTest::newRow("implicit TLS before STARTTLS in DNS")
            << QStringList{"auto=-", "well=-", "db=-", "srv=sub.example.it:587", "srvs=subs.example.it:465"} << "subs.example.it:465|tls" + pw + dns;
        QTest::newRow("\".\": no implicit TLS offered")
            << QStringList{"auto=-", "well=-", "db=-", "srvs=.:0", "srv=sub.example.it:587"} << "sub.example.it:587|starttls" + pw + dns;
        QTest::newRow("DNS names a server elsewhere")
            << QStringList{"auto=-", "well=-", "db=-", "srvs=mail.altrove.net:465"}
            << "mail.altrove.net:465|tls" + pw + dns + " (server mail.altrove.net, fuori dal dominio: controllare)";
        // The exchanger's parent domains are looked up in the table, its final dot ignored.
        QTest::newRow("mail hosted at Google")
            << QStringList{"mx=aspmx.l.google.com.", "auto=-", "well=-", "db=-", "srvs=-", "srv=-"}
            << "smtp.gmail.com:465|tls|anna@example.it|oauth2|google / Impostazioni note per google.com, che gestisce la posta di example.it";
        QTest::newRow("only plain text published") << QStringList{"auto=plain", "well=-", "db=-", "srvs=-", "srv=-", "mx=-"}
                                                   << "Trovato solo un server senza cifratura, non proposto: inserire i dati del provider";
    }
    void order()
    {
        QFETCH(QStringList, answers);
        Rig rig;
        rig.lookup.Start("anna@example.it");
        const QHash<QString, QString> key{{"auto", "https://autoconfig.example.it/mail/config-v1.1.xml?emailaddress=anna%40example.it"},
                                          {"well", "https://example.it/.well-known/autoconfig/mail/config-v1.1.xml"},
                                          {"db", "https://autoconfig.thunderbird.net/v1.1/example.it"},
                                          {"srvs", "SRV _submissions._tcp.example.it"}, {"srv", "SRV _submission._tcp.example.it"},
                                          {"mx", "MX example.it"}};
        QCOMPARE(rig.http.asked + rig.dns.asked, QStringList({key["auto"], key["well"], key["db"], key["srvs"], key["srv"], key["mx"]}));
        QCOMPARE(rig.limit.Interval(), 10000);
        for (const QString& answer : answers) {
            const QString source = answer.section('=', 0, 0), value = answer.section('=', 1);
            if (key[source].startsWith("https:")) {
                const QByteArray server = value == "plain" ? Server("plain.example.it", "25", "plain") : Server(value, "465", "SSL");
                QVERIFY(rig.http.Answer(key[source], value == "-" ? QByteArray() : File(server)));
            } else {
                const platform::DnsRecord record{value.section(':', 0, 0), value.section(':', 1).toUShort(), 10, 0};
                QVERIFY(rig.dns.Answer(key[source], value == "-" ? QList<platform::DnsRecord>() : QList{record}));
            }
            if (&answer != &answers.constLast())
                QCOMPARE(rig.done.size(), 0);
        }
        QCOMPARE(rig.done.size(), 1);
        QTEST(Summary(rig.lookup.Result()), "expected");
        // What is still running is dropped, so a late answer finds nothing to end.
        QVERIFY(rig.http.running.isEmpty() && rig.dns.running.isEmpty() && !rig.limit.IsActive());
    }

    // A cancelled lookup says nothing, also when its limit fires (the limit itself is proven in the
    // account dialog); a new lookup ignores the answers meant for the old one (Start cancels).
    void cancelAndRestart()
    {
        Rig rig;
        rig.lookup.Start("anna@example.it");
        const int staleTag = rig.http.running.value(rig.http.asked.first());
        rig.lookup.Cancel();
        rig.limit.Fire();
        QCOMPARE(rig.done.size(), 0);
        rig.lookup.Start("anna@example.org");
        Q_EMIT rig.http.finished(staleTag, true, File(Server("stale.example.it", "465", "SSL")));
        rig.http.Answer(rig.http.asked.at(rig.http.asked.size() - 3), File(Server("smtp.example.org", "465", "SSL")));
        QCOMPARE(rig.done.size(), 1);
        QCOMPARE(Summary(rig.lookup.Result().settings), "smtp.example.org:465|tls|anna@example.org|password|");
    }

    // The real resolver, asking a name server on 127.0.0.1 where none listens: each query still
    // ends once, under its own tag, with no records; a cancelled one says nothing.
    void resolverWithoutAnswer()
    {
        platform::QtDnsResolver dns(QHostAddress::LocalHost);
        QSignalSpy done(&dns, &platform::IDnsResolver::finished);
        dns.Lookup(7, platform::IDnsResolver::Type::Srv, "_submissions._tcp.example.it");
        dns.Lookup(8, platform::IDnsResolver::Type::Mx, "example.it");
        QTRY_COMPARE_WITH_TIMEOUT(done.size(), 2, 30000);
        QCOMPARE(QSet<int>({done[0][0].toInt(), done[1][0].toInt()}), QSet<int>({7, 8}));
        QVERIFY(done[0][1].value<QList<platform::DnsRecord>>().isEmpty());
        dns.Lookup(9, platform::IDnsResolver::Type::Mx, "example.it");
        dns.CancelAll();
        QTest::qWait(100);
        QCOMPARE(done.size(), 2);
    }

    // The real HTTPS client against files on 127.0.0.1: the certificate trusted only through the
    // CA file, redirects followed only to https, nothing ever fetched over http (the address is in
    // the query). The size limit is the parser's, proven with providerFile.
    void overHttps_data()
    {
        QTest::addColumn<QString>("served"); // at auto/<domain>: a good file, or a redirect to one
        QTest::addColumn<bool>("found");
        QTest::newRow("redirect within https") << "redirect https" << true;
        QTest::newRow("redirect to http") << "redirect http" << false;
        QTest::newRow("certificate not trusted") << "untrusted" << false;
        QTest::newRow("http source") << "http source" << false;
    }
    void overHttps()
    {
        QFETCH(QString, served);
        QFETCH(bool, found);
        static HttpsFiles server;
        static const bool started = server.Start();
        QVERIFY(started);
        const QString domain = QString(QTest::currentDataTag()).replace(' ', '-') + ".example", target = "files/" + domain;
        const QByteArray body = File(Server("smtp." + domain, "465", "SSL"));
        QVERIFY(server.Put(target, body));
        const QString redirect = served == "redirect https" ? server.Https(target)
                                 : served == "redirect http" ? server.Http(target) : QString();
        QVERIFY(server.Put("auto/" + domain, body, redirect));
        const QString autoconfig = (served == "http source" ? server.Http() : server.Https()) + "auto/%1?emailaddress=%2";
        platform::QtSecureHttpClient http(served == "untrusted" ? QString() : server.CaFile());
        FakeDnsResolver dns;
        platform::QtTimer limit;
        ProviderLookup lookup(http, dns, limit, {autoconfig, server.Https("well/%1"), server.Https("db/%1")});
        QSignalSpy done(&lookup, &ProviderLookup::finished);
        const qsizetype before = server.Requests().size();
        lookup.Start("anna@" + domain);
        dns.AnswerRest();
        QVERIFY(done.wait(15000));
        QCOMPARE(Summary(lookup.Result()),
                 found ? QString("smtp.%1:465|tls|anna@%1|password| / Impostazioni pubblicate da %1").arg(domain) : "Nessuna impostazione trovata: inserire i dati del provider");
        QVERIFY(!server.Requests().mid(before).contains("http /"));
    }
};

QTEST_MAIN(TestProviders)
#include "test_providers.moc"
