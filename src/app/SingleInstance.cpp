#include "SingleInstance.h"

#include <QCryptographicHash>
#include <QDir>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

namespace app {

namespace {
constexpr int kAnswerTimeoutMs = 3000;
const QByteArray kShow = QByteArrayLiteral("show\n");
} // namespace

SingleInstance::SingleInstance(const QString& directory, QObject* parent)
    : QObject(parent),
      m_lockPath(directory + QStringLiteral("/brevilo.lock")),
      // One name per data folder, hence per user; short enough for any socket path.
      m_serverName(QStringLiteral("brevilo-")
                   + QString::fromLatin1(
                       QCryptographicHash::hash(QDir(directory).absolutePath().toUtf8(), QCryptographicHash::Sha1)
                           .toHex()
                           .left(16))),
      m_lock(m_lockPath)
{
    // Age alone never makes a lock stale: the first copy may run for weeks. A lock whose
    // process is gone is still taken over.
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Acquire()
{
    QDir().mkpath(QFileInfo(m_lockPath).absolutePath());
    if (!m_lock.tryLock(0)) {
        // Only a lock held by a running copy means another copy; a folder where no lock can
        // be made does not keep the program from starting.
        return m_lock.error() != QLockFile::LockFailedError;
    }
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a crashed copy is ours to replace: we hold the lock.
    QLocalServer::removeServer(m_serverName);
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains('\n'))
                    RaiseWindow();
            });
        }
    });
    // Without the server later copies still end; they only cannot raise this window.
    m_server->listen(m_serverName);
    return true;
}

void SingleInstance::NotifyFirstCopy()
{
    auto* socket = new QLocalSocket(this);
    auto finish = [this, socket] {
        if (socket->property("finished").toBool())
            return;
        socket->setProperty("finished", true);
        socket->abort();
        socket->deleteLater();
        Q_EMIT done();
    };
    connect(socket, &QLocalSocket::connected, socket, [socket] { socket->write(kShow); });
    connect(socket, &QLocalSocket::bytesWritten, socket, [socket] {
        if (socket->bytesToWrite() == 0)
            socket->disconnectFromServer();
    });
    connect(socket, &QLocalSocket::disconnected, this, finish);
    connect(socket, &QLocalSocket::errorOccurred, this, finish);
    QTimer::singleShot(kAnswerTimeoutMs, socket, finish);
    socket->connectToServer(m_serverName);
}

void SingleInstance::RaiseWindow()
{
    if (!m_window)
        return;
    m_window->setWindowState((m_window->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}

} // namespace app
