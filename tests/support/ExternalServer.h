#pragma once

#include <QProcess>
#include <QRegularExpression>
#include <QStringList>

namespace testsupport {

// A real server in a child process on 127.0.0.1 (Debian's /usr/bin/python3), stopped
// when the object goes. Start() waits until the server prints a line that names its port.
class ExternalServer {
public:
    ExternalServer() = default;
    ~ExternalServer();
    ExternalServer(const ExternalServer&) = delete;
    ExternalServer& operator=(const ExternalServer&) = delete;

    // args go to python3 -u; portPattern captures the port in its first group.
    bool Start(const QStringList& args, const QRegularExpression& portPattern, int timeoutMs = 15000);
    void Stop();
    quint16 Port() const { return m_port; }
    QString Output() const { return m_output; }
    static QString Python();

private:
    QProcess m_process;
    quint16 m_port = 0;
    QString m_output;
};

} // namespace testsupport
