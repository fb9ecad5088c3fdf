#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

namespace app {

// One running copy per user. The first copy holds a lock file in the per-user data folder
// and listens on a local socket in the user's own runtime folder; a second start finds the
// lock taken, asks the first copy to bring its window to the front, and ends without touching
// anything else. A lock is held only while its copy answers: a lock left by a crash, an empty
// or damaged one, one written on another host, or one whose process id now belongs to some
// other program is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& directory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the only copy (or no lock can be made at all); it then answers the
    // copies that start later. False when a lock stands: ask its copy (NotifyFirstCopy).
    bool Acquire();
    // The window the later copies bring to the front.
    void SetWindow(QWidget* window) { m_window = window; }
    // For a later copy: tells the first copy to show itself; emits done when it answered,
    // noAnswer when it did not within kAnswerTimeoutMs.
    void NotifyFirstCopy();
    // After noAnswer: removes the lock that no copy holds and takes it. False when still held.
    bool TakeOver();

    QString LockPath() const { return m_lockPath; }
    QString ServerName() const { return m_serverName; }
    // $XDG_RUNTIME_DIR when it is the user's private folder, otherwise the data folder: a
    // socket name no other user can take first.
    static QString SocketFolder(const QString& dataDirectory);

    static constexpr int kAnswerTimeoutMs = 1000;

Q_SIGNALS:
    void done();
    void noAnswer();

private:
    void Listen();
    void RaiseWindow();

    QString m_lockPath;
    QString m_serverName;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
    QPointer<QWidget> m_window;
};

} // namespace app
