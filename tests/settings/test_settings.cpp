// The settings variables against a store in memory (never the user's).
#include "Fakes.h"
#include "settings/modMain.h"

#include <QTest>

class TestSettings : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // Plain integers are checked against the conversion by fuzz/fuzz_tempo.cpp.
    void convertTempoAttesa()
    {
        const QList<std::pair<QString, int>> rows = {
            {"12.5", 12}, {"13.5", 14}, {"45 abc", 45}, {"abc", 0}, {" 1\t2\n0 ", 120}, {"1\r5", 1},
            {"2.5E1", 25}, {"12e+x", 12}, {".6", 1}, {"1.5.5", 2}, {"1,5", 1}, {"0x10", 0}, {"2147483648", INT32_MAX},
            {"1e400", INT32_MAX}, {"-99999999999999999999", INT32_MIN}, {"1e-400", 0}, {"0.000e999999999999", 0}};
        for (const auto& [text, expected] : rows)
            QVERIFY2(settings::ConvertTempoAttesa(text) == expected, qPrintable(text));
    }

    void settingsKeysOrderAndDefaults()
    {
        testsupport::MemorySettingsStore store;
        settings::ModMain m;
        QCOMPARE(m.Load(store), QString()); // first start
        QCOMPARE(QStringList({m.SMTP, m.From, QString::number(m.TempoAttesa), m.NewsDest[2], m.SmsGateway}),
                 QStringList({"", "", "30", "", settings::kDefaultSmsGateway}));
        m.From = "me@x.it", m.SMTP = "mail.x.it", m.TempoAttesa = -5, m.SerieA = true;
        m.NewsDest = {"a@x.it", "", "c@x.it"};
        m.Save(store, "Mario");
        const QString keys = "From SMTP Name TempoAttesa Brevilo/News/Dest0 Brevilo/News/Dest1 Brevilo/News/Dest2 RetryHours "
                             "Security User TrustedCertificate Auth OAuthProvider OAuthClientId OAuthClientSecret "
                             "OAuthAuthorizeUrl OAuthTokenUrl OAuthScope";
        QCOMPARE(store.writeOrder.join(' ').remove("Brevilo/Address/"), keys);
        QCOMPARE(QStringList({store.values["Brevilo/Address/Security"], store.values["Brevilo/Address/Auth"],
                              store.values["Brevilo/Address/TempoAttesa"], store.values["Brevilo/Address/RetryHours"]}),
                 QStringList({"none", "password", "-5", "24"}));
        // RetryHours: 0 turns retries off; what is no count of hours keeps the default.
        for (const auto& [text, hours] : QList<std::pair<QString, int>>{{"0", 0}, {" 72 ", 72}, {"-1", 24}, {"x", 24}}) {
            store.values.insert("Brevilo/Address/RetryHours", text);
            settings::ModMain h;
            h.Load(store);
            QVERIFY2(h.RetryHours == hours, qPrintable(text));
        }
        // Keys added by hand are read, trimmed, and never written back; the gateway, which the
        // dialog can set, is written once it is not the placeholder.
        for (const auto& [key, value] : QList<std::pair<QString, QString>>{
                 {"Address/SmsGateway", "sms.operator.test"}, {"News/NewsHost", " news.test "},
                 {"Address/CaFile", " /etc/ca.pem "}, {"Address/Security", "starttls"}, {"Address/User", "mario"},
                 {"Address/Auth", "oauth2"}, {"Address/OAuthProvider", "custom"},
                 {"Address/OAuthTokenUrl", " http://127.0.0.1:8/token "}})
            store.values.insert("Brevilo/" + key, value);
        settings::ModMain r;
        QCOMPARE(r.Load(store), "Mario");
        QCOMPARE(QStringList({r.From, r.SMTP, QString::number(r.TempoAttesa), r.NewsDest[0], r.NewsDest[2], r.SmsGateway,
                              r.NewsHost, r.SerieA ? "stored" : "not stored", r.CaFile, r.Security, r.User, r.Auth,
                              r.OAuthProvider, r.OAuthTokenUrl, r.OAuthClientId}),
                 QStringList({"me@x.it", "mail.x.it", "-5", "a@x.it", "c@x.it", "sms.operator.test", "news.test", "not stored",
                              "/etc/ca.pem", "starttls", "mario", "oauth2", "custom", "http://127.0.0.1:8/token", ""}));
        store.writeOrder.clear();
        r.Save(store, QString());
        QCOMPARE(store.writeOrder.join(' ').remove("Brevilo/Address/"), keys + " SmsGateway");
        // A blank gateway would turn numbers into "number@": the built-in one stays.
        store.values.insert("Brevilo/Address/SmsGateway", "  ");
        r.Load(store);
        QCOMPARE(r.SmsGateway, settings::kDefaultSmsGateway);
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "test_settings.moc"
