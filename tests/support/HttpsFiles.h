#pragma once

#include "ExternalServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

namespace testsupport {

// Files over HTTPS and plain HTTP on 127.0.0.1 (tests/support/https_files.py), with a certificate
// for 127.0.0.1 made now by openssl, or one handed in. Put() places a file, or a redirect.
class HttpsFiles {
public:
    bool Start(const QString& cert = {}, const QString& key = {})
    {
        QDir().mkpath(Root());
        m_cert = cert.isEmpty() ? m_dir.filePath("cert.pem") : cert;
        const QString keyFile = key.isEmpty() ? m_dir.filePath("key.pem") : key;
        if (cert.isEmpty()) {
            QProcess openssl;
            openssl.setProcessChannelMode(QProcess::MergedChannels);
            openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                                      "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", keyFile, "-out", m_cert});
            if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
                return false;
        }
        const QString script = qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/support/https_files.py";
        if (!m_server.Start({script, m_cert, keyFile, Root()}, QRegularExpression("READY https=\\d+ http=(\\d+)")))
            return false;
        m_https = m_server.Output().section("https=", 1).section(' ', 0, 0).toUShort();
        return m_https != 0;
    }
    QString Root() const { return m_dir.filePath("root"); }
    QString CaFile() const { return m_cert; }
    QString Https(const QString& path = {}) const { return QStringLiteral("https://127.0.0.1:%1/").arg(m_https) + path; }
    QString Http(const QString& path = {}) const { return QStringLiteral("http://127.0.0.1:%1/").arg(m_server.Port()) + path; }
    // A file under the root; a redirect when redirectTo is set.
    bool Put(const QString& path, const QByteArray& body, const QString& redirectTo = {})
    {
        QFile file(Root() + "/" + path + (redirectTo.isEmpty() ? "" : ".redirect"));
        QDir().mkpath(QFileInfo(file).path());
        return file.open(QIODevice::WriteOnly) && file.write(redirectTo.isEmpty() ? body : redirectTo.toUtf8()) >= 0;
    }
    QByteArray Requests() const
    {
        QFile log(Root() + "/requests.log");
        return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
    }
    QString Output() const { return m_server.Output(); }

private:
    QTemporaryDir m_dir;
    ExternalServer m_server;
    QString m_cert;
    quint16 m_https = 0;
};

} // namespace testsupport
