#pragma once

#include "ExternalServer.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

namespace testsupport {

// Files over HTTPS and plain HTTP on 127.0.0.1 (tests/support/https_files.py), with a certificate
// for 127.0.0.1 made now, or one handed in. Put() places a file, or a redirect.
class HttpsFiles : public ExternalServer {
public:
    bool Start(const QString& cert = {}, const QString& key = {})
    {
        m_cert = cert.isEmpty() ? m_dir.filePath("cert.pem") : cert;
        return QDir().mkpath(Root()) && (!cert.isEmpty() || MakeCertificate(m_dir.path()))
            && StartScript("https_files.py", {m_cert, key.isEmpty() ? m_dir.filePath("key.pem") : key, Root()});
    }
    QString Root() const { return m_dir.filePath("root"); }
    QString CaFile() const { return m_cert; }
    QString Https(const QString& path = {}) const { return QStringLiteral("https://%1/").arg(Setting("https")) + path; }
    QString Http(const QString& path = {}) const { return QStringLiteral("http://%1/").arg(Setting("http")) + path; }
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

private:
    QTemporaryDir m_dir;
    QString m_cert;
};

} // namespace testsupport
