#pragma once

#include "ExternalServer.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QProcess>
#include <QTemporaryDir>

namespace testsupport {

// Debian's aiosmtpd demanding TLS and AUTH, through tests/support/submission_sink.py, with a
// certificate for 127.0.0.1 made now by the openssl command. Its listeners: "starttls",
// "tls" (implicit, AUTH LOGIN only), "plain" (AUTH without STARTTLS) and "inject" (an extra
// reply behind the 220 to STARTTLS). Messages land in the save directory as NNNN.eml and
// NNNN.json, the commands each listener saw in commands.log.
class SubmissionServer {
public:
    static constexpr const char* kUser = "anna";
    static constexpr const char* kPassword = "Segreto-Sul-Filo-7";

    bool Start(const QString& saveDirectory = QString())
    {
        const QString cert = m_dir.filePath("cert.pem"), key = m_dir.filePath("key.pem");
        QProcess openssl;
        openssl.setProcessChannelMode(QProcess::MergedChannels);
        openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=localhost",
                                  "-addext", "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", key, "-out", cert});
        if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
            return false;
        openssl.start("openssl", {"x509", "-in", cert, "-noout", "-fingerprint", "-sha256"});
        if (!openssl.waitForFinished(60000))
            return false;
        m_fingerprint = QString::fromLatin1(openssl.readAll()).section('=', 1).trimmed().toUpper();
        const QString script = qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/support/submission_sink.py";
        if (!m_server.Start({script, saveDirectory.isEmpty() ? QStringLiteral("--count") : saveDirectory, cert, key,
                             kUser, kPassword},
                            QRegularExpression("READY .*inject=(\\d+)")))
            return false;
        const QString line = m_server.Output().section("READY ", 1).section('\n', 0, 0);
        for (const QString& pair : line.split(' ', Qt::SkipEmptyParts))
            m_ports.insert(pair.section('=', 0, 0), pair.section('=', 1).toUShort());
        return m_ports.size() == 4;
    }
    // The SMTP setting that reaches a listener.
    QString Setting(const QString& listener) const { return QStringLiteral("127.0.0.1:%1").arg(m_ports.value(listener)); }
    quint16 Port(const QString& listener) const { return m_ports.value(listener); }
    QString CaFile() const { return m_dir.filePath("cert.pem"); }
    // SHA-256 of the certificate as openssl prints it, "AB:CD:...".
    QString Fingerprint() const { return m_fingerprint; }
    QString Output() const { return m_server.Output(); }

private:
    QTemporaryDir m_dir;
    ExternalServer m_server;
    QHash<QString, quint16> m_ports;
    QString m_fingerprint;
};

} // namespace testsupport
