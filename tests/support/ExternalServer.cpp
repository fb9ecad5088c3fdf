#include "ExternalServer.h"

#include <QDeadlineTimer>

namespace testsupport {

ExternalServer::~ExternalServer()
{
    Stop();
}

QString ExternalServer::Python()
{
    const QString configured = qEnvironmentVariable("BREVILO_PYTHON");
    if (!configured.isEmpty())
        return configured;
    return QStringLiteral("/usr/bin/python3");
}

bool ExternalServer::Start(const QStringList& args, const QRegularExpression& portPattern, int timeoutMs)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(Python(), QStringList{QStringLiteral("-u")} + args);
    if (!m_process.waitForStarted(timeoutMs))
        return false;
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (!m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime()))))
            if (m_process.state() != QProcess::Running)
                break;
        m_output += QString::fromUtf8(m_process.readAll());
        const QRegularExpressionMatch match = portPattern.match(m_output);
        if (match.hasMatch()) {
            m_port = static_cast<quint16>(match.captured(1).toUInt());
            return m_port != 0;
        }
    }
    m_output += QString::fromUtf8(m_process.readAll());
    return false;
}

void ExternalServer::Stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

} // namespace testsupport
