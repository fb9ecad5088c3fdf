#pragma once

#include "ExternalServer.h"

#include <QSslCertificate>

namespace testsupport {

// aiosmtpd demanding TLS and AUTH (smtp_sink.py --login), with a certificate for 127.0.0.1 made
// now. Listeners: "starttls" and "tls" (implicit, AUTH LOGIN only). Messages land in the save directory,
// the commands each listener saw in commands.log.
class SubmissionServer : public TlsSmtpSink {
public:
    static constexpr const char* kUser = "anna";
    static constexpr const char* kPassword = "Segreto-Sul-Filo-7";

    bool Start(const QString& saveDir = {}) { return StartSink(saveDir, {"--login", kUser, kPassword}); }
    // SHA-256 of the certificate, "AB:CD:...".
    QString Fingerprint() const
    {
        return QString::fromLatin1(QSslCertificate::fromPath(CaFile()).value(0).digest(QCryptographicHash::Sha256).toHex(':').toUpper());
    }
};

} // namespace testsupport
