#pragma once

#include "ExternalServer.h"
#include "platform/Browser.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace testsupport {

// A fake OAuth 2.0 provider ("http") and aiosmtpd logging in by token ("xoauth2": XOAUTH2 only,
// "both": XOAUTH2 and OAUTHBEARER), through smtp_sink.py --oauth, with a certificate for 127.0.0.1.
class OAuthServer : public TlsSmtpSink {
public:
    static constexpr const char* kClientId = "brevilo-test-client";
    static constexpr const char* kUser = "anna@example.invalid";

    // stateFile: refresh tokens and issued tokens kept for the next run of the provider.
    bool Start(const QString& saveDirectory = {}, const QString& stateFile = {})
    {
        return StartSink(saveDirectory, {"--oauth", kClientId, stateFile});
    }
    QString Url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(Port("http")).arg(path); }

    // /control?name=value; true once the server has taken it.
    bool Control(const QString& name, const QString& value) { return Get("control?" + name + "=" + value).contains("ok"); }
    // One counter of /stats (refresh, refused_refresh).
    int Stat(const QString& name) { return QJsonDocument::fromJson(Get("stats")).object().value(name).toInt(); }

private:
    QByteArray Get(const QString& path)
    {
        QNetworkAccessManager http;
        const std::unique_ptr<QNetworkReply> reply(http.get(QNetworkRequest(QUrl(Url(path)))));
        return QTest::qWaitFor([&reply] { return reply->isFinished(); }, 10000) ? reply->readAll() : QByteArray();
    }
};

// The user's browser as the tests need it: it records each page, fetches it and follows the
// provider's redirect back to the program's loopback address, as a browser would.
class FakeBrowser final : public platform::IBrowser {
public:
    FakeBrowser()
    {
        QObject::connect(&m_http, &QNetworkAccessManager::finished, &m_http, [this](QNetworkReply* reply) {
            pages.append(reply->readAll());
            reply->deleteLater();
        });
    }
    bool OpenUrl(const QUrl& url) override
    {
        opened.append(url);
        m_http.get(QNetworkRequest(url));
        return true;
    }
    QByteArrayList pages; // what the tab showed at the end
    QList<QUrl> opened;

private:
    QNetworkAccessManager m_http;
};

} // namespace testsupport
