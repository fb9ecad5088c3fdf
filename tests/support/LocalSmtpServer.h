#pragma once

#include "ExternalServer.h"

namespace testsupport {

// Debian's aiosmtpd on 127.0.0.1 on a free port, through tests/support/smtp_sink.py.
// With a directory each message is saved there as NNNN.eml (raw bytes) and NNNN.json
// (envelope); without one the server keeps nothing. Recipients at refused.test get 550.
class LocalSmtpServer {
public:
    // With greylist (and a directory) the first RCPT of each address is answered 451.
    bool Start(const QString& saveDirectory = QString(), bool greylist = false)
    {
        const QString script = qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/support/smtp_sink.py";
        QStringList args{script};
        if (greylist)
            args << QStringLiteral("--greylist");
        args << (saveDirectory.isEmpty() ? QStringLiteral("--count") : saveDirectory);
        return m_server.Start(args, QRegularExpression(QStringLiteral("READY (\\d+)")));
    }
    quint16 Port() const { return m_server.Port(); }
    // The SMTP setting that reaches it.
    QString Setting() const { return QStringLiteral("127.0.0.1:%1").arg(Port()); }
    QString Output() const { return m_server.Output(); }

private:
    ExternalServer m_server;
};

} // namespace testsupport
