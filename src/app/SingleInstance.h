#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QPointer>

#include <memory>

class QWidget;

namespace app {

// One running copy per user. The first copy holds a lock file in the per-user data folder
// and listens on a local socket; a second start finds the lock taken, asks the first copy
// to bring its window to the front, and ends without touching anything else. A lock left
// by a copy that crashed is taken over.
class SingleInstance : public QObject {
    Q_OBJECT
public:
    explicit SingleInstance(const QString& directory, QObject* parent = nullptr);
    ~SingleInstance() override;

    // True when this is the only copy (or no lock can be made at all); it then answers the
    // copies that start later.
    bool Acquire();
    // The window the later copies bring to the front.
    void SetWindow(QWidget* window) { m_window = window; }
    // For a later copy: tells the first copy to show itself, then emits done (also when the
    // first copy does not answer).
    void NotifyFirstCopy();

    QString LockPath() const { return m_lockPath; }
    QString ServerName() const { return m_serverName; }

Q_SIGNALS:
    void done();

private:
    void RaiseWindow();

    QString m_lockPath;
    QString m_serverName;
    QLockFile m_lock;
    std::unique_ptr<QLocalServer> m_server;
    QPointer<QWidget> m_window;
};

} // namespace app
