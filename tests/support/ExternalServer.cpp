#include "ExternalServer.h"

#include <QDeadlineTimer>

namespace testsupport {

QString ExternalServer::Python()
{
    return qEnvironmentVariable("BREVILO_PYTHON", QStringLiteral("/usr/bin/python3"));
}

bool ExternalServer::MakeCertificate(const QString& dir, const QString& subject, const QString& altNames)
{
    QProcess openssl;
    openssl.start("openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", subject, "-addext",
                              "subjectAltName=" + altNames, "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem"});
    return openssl.waitForFinished(60000) && openssl.exitCode() == 0;
}

bool ExternalServer::Start(const QStringList& args, const QRegularExpression& portPattern, int timeoutMs)
{
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(Python(), QStringList{QStringLiteral("-u")} + args);
    // Until the port line, the deadline, or the end of a server that could not start.
    for (QDeadlineTimer deadline(timeoutMs); !deadline.hasExpired();) {
        if (!m_process.waitForReadyRead(static_cast<int>(qMax<qint64>(1, deadline.remainingTime())))
            && m_process.state() != QProcess::Running)
            break;
        m_output += QString::fromUtf8(m_process.readAll());
        const QRegularExpressionMatch match = portPattern.match(m_output);
        if (match.hasMatch()) {
            for (const QString& pair : match.captured(1).split(' ', Qt::SkipEmptyParts))
                m_ports.insert(pair.section('=', 0, -2), pair.section('=', -1).toUShort());
            return !m_ports.isEmpty() && !m_ports.values().contains(0);
        }
    }
    return false;
}

void ExternalServer::Stop()
{
    m_process.terminate(); // nothing to do when it has ended
    if (!m_process.waitForFinished(3000)) {
        m_process.kill();
        m_process.waitForFinished(3000);
    }
}

} // namespace testsupport
