#pragma once

#include "ExternalServer.h"

#include <QString>

namespace testsupport {

// Debian's aiosmtpd on 127.0.0.1 on a free port, through tests/support/smtp_sink.py.
// With a directory each message is saved there as NNNN.eml (raw bytes) and NNNN.json
// (envelope); without one the server keeps nothing. Recipients at refused.test get 550.
class LocalSmtpServer {
public:
    bool Start(const QString& saveDirectory = QString());
    quint16 Port() const { return m_server.Port(); }
    // The SMTP setting that reaches it: "127.0.0.1:<port>".
    QString Setting() const;
    QString Output() const { return m_server.Output(); }
    // BREVILO_SOURCE_DIR (set by CTest) + the script's place in the tree.
    static QString ScriptPath();

private:
    ExternalServer m_server;
};

} // namespace testsupport
