#pragma once

#include "ExternalServer.h"

namespace testsupport {

// aiosmtpd on 127.0.0.1 (tests/support/smtp_sink.py). With a directory each message is saved there
// as NNNN.eml (raw bytes) and NNNN.json (envelope).
class LocalSmtpServer : public ExternalServer {
public:
    bool Start(const QString& saveDirectory = {}) { return StartScript("smtp_sink.py", {saveDirectory}); }
};

} // namespace testsupport
