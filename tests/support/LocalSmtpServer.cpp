#include "LocalSmtpServer.h"

#include <QRegularExpression>

namespace testsupport {

QString LocalSmtpServer::ScriptPath()
{
    return qEnvironmentVariable("BREVILO_SOURCE_DIR") + QStringLiteral("/tests/support/smtp_sink.py");
}

bool LocalSmtpServer::Start(const QString& saveDirectory)
{
    const QString target = saveDirectory.isEmpty() ? QStringLiteral("--count") : saveDirectory;
    return m_server.Start({ScriptPath(), target}, QRegularExpression(QStringLiteral("READY (\\d+)")));
}

QString LocalSmtpServer::Setting() const
{
    return QStringLiteral("127.0.0.1:%1").arg(Port());
}

} // namespace testsupport
