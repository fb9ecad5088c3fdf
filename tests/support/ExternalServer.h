#pragma once

#include <QHash>
#include <QProcess>
#include <QRegularExpression>
#include <QStringList>
#include <QTemporaryDir>

namespace testsupport {

// A real server in a child process on 127.0.0.1 (Debian's /usr/bin/python3), stopped
// when the object goes. Start() waits until the server prints a line that names its ports.
class ExternalServer {
public:
    ~ExternalServer() { Stop(); }

    // args go to python3 -u; portPattern's first group is the port, or "name=port ..." pairs.
    bool Start(const QStringList& args, const QRegularExpression& portPattern, int timeoutMs = 15000);
    // tests/support/<script> args, ready once it prints "READY <port>" or "READY name=port ...".
    bool StartScript(const QString& script, const QStringList& args)
    {
        return Start(QStringList{qEnvironmentVariable("BREVILO_SOURCE_DIR") + "/tests/support/" + script} + args,
                     QRegularExpression("READY ([^\r\n]+)\r?\n"));
    }
    void Stop();
    quint16 Port(const QString& listener = {}) const { return m_ports.value(listener); }
    // The SMTP setting (or host:port) that reaches a listener.
    QString Setting(const QString& listener = {}) const { return QStringLiteral("127.0.0.1:%1").arg(Port(listener)); }
    QString Output() const { return m_output; }
    static QString Python();
    // A self-signed certificate, dir/cert.pem with dir/key.pem, made now by the openssl command.
    static bool MakeCertificate(const QString& dir, const QString& subject = "/CN=localhost",
                                const QString& altNames = "DNS:localhost,IP:127.0.0.1");

private:
    QProcess m_process;
    QHash<QString, quint16> m_ports;
    QString m_output;
};

// smtp_sink.py with TLS, on a certificate for 127.0.0.1 made at start; `mode` picks the listeners
// ("--login USER PASSWORD" or "--oauth CLIENT_ID [STATE]").
class TlsSmtpSink : public ExternalServer {
public:
    QString CaFile() const { return m_dir.filePath("cert.pem"); }

protected:
    bool StartSink(const QString& saveDirectory, const QStringList& mode)
    {
        return MakeCertificate(m_dir.path())
            && StartScript("smtp_sink.py", QStringList{saveDirectory, "--tls", CaFile(), m_dir.filePath("key.pem")} + mode);
    }

private:
    QTemporaryDir m_dir;
};

} // namespace testsupport
