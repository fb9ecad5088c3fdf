#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTcpServer>
#include <QTcpSocket>

namespace testsupport {

// An SMTP peer on 127.0.0.1 that plays a script: send bytes (whole or one byte at a time),
// wait for a line, take a DATA block, close. A script that runs out stays silent with the
// connection open. Every new connection plays the current script from its start, and every
// line the client sends is recorded.
class ScriptedSmtpServer final : public QObject {
    Q_OBJECT
public:
    struct Step {
        enum Kind { Send, SendByteByByte, Expect, ExpectData, Close } kind;
        QByteArray bytes; // to send, or the start the expected line must have
    };
    using Script = QList<Step>;

    static Step Send(const QByteArray& bytes) { return {Step::Send, bytes}; }
    static Step SendByteByByte(const QByteArray& bytes) { return {Step::SendByteByByte, bytes}; }
    static Step Expect(const QByteArray& lineStart) { return {Step::Expect, lineStart}; }
    static Step ExpectData() { return {Step::ExpectData, {}}; }
    static Step Close() { return {Step::Close, {}}; }

    // The replies of a good session, in order: greeting, HELO, MAIL, RCPT, DATA, final ".".
    static QList<QByteArray> GoodReplies();
    // A whole good session; the replies are sent as given.
    static Script Dialogue(const QList<QByteArray>& replies = GoodReplies(), bool byteByByte = false);
    // The good session up to the reply to step `step` (0 = greeting .. 5 = the final "."),
    // which is `reply` instead; then the client's QUIT is awaited.
    static Script FailAt(int step, const QByteArray& reply);
    // The good session up to step `step`, where the server closes instead of replying.
    static Script CloseAt(int step);
    // The good session up to step `step`, where the server says nothing more.
    static Script SilentAt(int step);

    explicit ScriptedSmtpServer(QObject* parent = nullptr);
    bool Listen();
    quint16 Port() const { return m_server.serverPort(); }
    QString Address() const { return QStringLiteral("127.0.0.1:%1").arg(Port()); }
    void SetScript(const Script& script) { m_script = script; }
    // Waits, events running, until the client of the current connection has closed it.
    bool WaitForClientClosed(int timeoutMs = 10000);

    // Per connection, reset when a new one comes.
    QStringList received;    // every line from the client, without its CR LF
    QByteArray message;      // the DATA block as sent, leading dots included, without the final "."
    QStringList mismatches;  // expected line starts that did not come
    bool clientClosed = false;
    int connections = 0;

Q_SIGNALS:
    void clientGone();

private:
    void OnNewConnection();
    void OnReadyRead();
    void Run();
    void Dribble();

    QTcpServer m_server;
    QPointer<QTcpSocket> m_socket;
    Script m_script;
    qsizetype m_pos = 0;
    QByteArray m_buffer;
    QList<QByteArray> m_lines; // received lines not yet taken by an Expect step
    QByteArray m_dribble;      // bytes still to send one at a time
    bool m_inData = false;
};

} // namespace testsupport
