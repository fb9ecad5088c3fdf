#pragma once

#include "ExternalServer.h"
#include "platform/Browser.h"

#include <QEventLoop>
#include <QHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace testsupport {

// tests/support/oauth_sink.py: a fake OAuth 2.0 provider ("http") and aiosmtpd logging in by token
// ("xoauth2": XOAUTH2 only, "both": XOAUTH2 and OAUTHBEARER), with a certificate for 127.0.0.1.
class OAuthServer {
public:
    static constexpr const char* kClientId = "brevilo-test-client";
    static constexpr const char* kUser = "anna@example.invalid";

    // stateFile: refresh tokens and issued tokens kept for the next run of the provider.
    bool Start(const QString& saveDirectory = QString(), const QString& stateFile = QString())
    {
        const QString cert = m_dir.filePath("cert.pem"), key = m_dir.filePath("key.pem");
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                                  "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", key, "-out", cert});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            return false;
        const QString script = qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/support/oauth_sink.py";
        QStringList args = {script, saveDirectory.isEmpty() ? QStringLiteral("--count") : saveDirectory, cert, key, kClientId};
        if (!stateFile.isEmpty())
            args.append(stateFile);
        if (!m_server.Start(args, QRegularExpression("READY .*both=(\\d+)")))
            return false;
        const QString line = m_server.Output().section("READY ", 1).section('\n', 0, 0);
        for (const QString& pair : line.split(' ', Qt::SkipEmptyParts))
            m_ports.insert(pair.section('=', 0, 0), pair.section('=', 1).toUShort());
        return m_ports.size() == 3;
    }
    QString Setting(const QString& listener) const { return QStringLiteral("127.0.0.1:%1").arg(m_ports.value(listener)); }
    QString Url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(m_ports.value("http")).arg(path); }
    QString CaFile() const { return m_dir.filePath("cert.pem"); }
    QString Output() const { return m_server.Output(); }

    // /control?name=value; true once the server has taken it.
    bool Control(const QString& name, const QString& value) { return Get("control?" + name + "=" + value).contains("ok"); }
    // One counter of /stats (authorize, code, refresh, refused_refresh).
    int Stat(const QString& name) { return QJsonDocument::fromJson(Get("stats")).object().value(name).toInt(); }

    // Every token the provider handed out.
    QStringList Issued()
    {
        QStringList tokens;
        for (const QVariant& token : QJsonDocument::fromJson(Get("issued")).toVariant().toList())
            tokens.append(token.toString());
        return tokens;
    }

private:
    QByteArray Get(const QString& path)
    {
        QNetworkAccessManager http;
        QNetworkReply* reply = http.get(QNetworkRequest(QUrl(Url(path))));
        if (!QTest::qWaitFor([reply] { return reply->isFinished(); }, 10000))
            return {};
        const QByteArray body = reply->readAll();
        delete reply;
        return body;
    }

    QTemporaryDir m_dir;
    ExternalServer m_server;
    QHash<QString, quint16> m_ports;
};

// The user's browser as the tests need it: it records each page and, when it follows, fetches it
// and follows the provider's redirect back to the program's loopback address, as a browser would.
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
        if (follow)
            m_http.get(QNetworkRequest(url));
        return true;
    }
    QByteArrayList pages; // what the tab showed at the end
    QList<QUrl> opened;
    bool follow = true;

private:
    QNetworkAccessManager m_http;
};

} // namespace testsupport
