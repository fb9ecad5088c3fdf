#pragma once

#include "ExternalServer.h"

namespace testsupport {

// Debian's aiosmtpd on 127.0.0.1 on a free port, through tests/support/smtp_sink.py.
// With a directory each message is saved there as NNNN.eml (raw bytes) and NNNN.json
// (envelope); without one the server keeps nothing. Recipients at refused.test get 550.
class LocalSmtpServer {
public:
    bool Start(const QString& saveDirectory = QString())
    {
        const QString script = qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/support/smtp_sink.py";
        return m_server.Start({script, saveDirectory.isEmpty() ? QStringLiteral("--count") : saveDirectory},
                              QRegularExpression(QStringLiteral("READY (\\d+)")));
    }
    quint16 Port() const { return m_server.Port(); }
    // The SMTP setting that reaches it.
    QString Setting() const { return QStringLiteral("127.0.0.1:%1").arg(Port()); }
    QString Output() const { return m_server.Output(); }

private:
    ExternalServer m_server;
};

} // namespace testsupport
