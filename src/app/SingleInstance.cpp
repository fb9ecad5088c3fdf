#include "SingleInstance.h"

#include "platform/PrivateFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>
#include <QTimer>
#include <QWidget>

#include <sys/stat.h>
#include <unistd.h>

namespace app {

namespace {
const QByteArray kShow = QByteArrayLiteral("show\n");
const QByteArray kShown = QByteArrayLiteral("shown\n");

bool PrivateFolderOfUser(const QString& path)
{
    struct stat info{};
    return !path.isEmpty() && ::stat(QFile::encodeName(path).constData(), &info) == 0 && S_ISDIR(info.st_mode)
        && info.st_uid == ::geteuid() && (info.st_mode & (S_IRWXG | S_IRWXO)) == 0;
}
} // namespace

QString SingleInstance::SocketFolder(const QString& dataDirectory)
{
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    return PrivateFolderOfUser(runtime) ? runtime : dataDirectory;
}

SingleInstance::SingleInstance(const QString& directory, QObject* parent)
    : QObject(parent),
      m_lockPath(directory + QStringLiteral("/brevilo.lock")),
      // One name per data folder, hence per user; short enough for any socket path.
      m_serverName(SocketFolder(directory) + QStringLiteral("/brevilo-")
                   + QString::fromLatin1(
                       QCryptographicHash::hash(QDir(directory).absolutePath().toUtf8(), QCryptographicHash::Sha1)
                           .toHex()
                           .left(16))),
      m_lock(m_lockPath)
{
    // Age alone never makes a lock stale: the first copy may run for weeks. Whether its copy
    // still runs is asked on the socket (NotifyFirstCopy).
    m_lock.setStaleLockTime(0);
}

SingleInstance::~SingleInstance() = default;

bool SingleInstance::Acquire()
{
    platform::MakePrivateFolder(QFileInfo(m_lockPath).absolutePath());
    if (!m_lock.tryLock(0)) {
        // Only a lock held by someone means another copy; a folder where no lock can be made
        // does not keep the program from starting.
        return m_lock.error() != QLockFile::LockFailedError;
    }
    Listen();
    return true;
}

bool SingleInstance::TakeOver()
{
    // No copy answered on the socket, so whatever the file says, no copy holds it.
    m_lock.removeStaleLockFile();
    QFile::remove(m_lockPath);
    if (!m_lock.tryLock(0))
        return m_lock.error() != QLockFile::LockFailedError;
    Listen();
    return true;
}

void SingleInstance::Listen()
{
    m_server = std::make_unique<QLocalServer>();
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // A socket left by a crashed copy is ours to replace: we hold the lock.
    QLocalServer::removeServer(m_serverName);
    connect(m_server.get(), &QLocalServer::newConnection, this, [this] {
        while (QLocalSocket* peer = m_server->nextPendingConnection()) {
            connect(peer, &QLocalSocket::disconnected, peer, &QObject::deleteLater);
            connect(peer, &QLocalSocket::readyRead, this, [this, peer] {
                if (peer->readAll().contains('\n')) {
                    peer->write(kShown);
                    RaiseWindow();
                }
            });
        }
    });
    // Without the server later copies find no answer and take the lock over.
    m_server->listen(m_serverName);
}

void SingleInstance::NotifyFirstCopy()
{
    auto* socket = new QLocalSocket(this);
    auto finish = [this, socket](bool answered) {
        if (socket->property("finished").toBool())
            return;
        socket->setProperty("finished", true);
        socket->abort();
        socket->deleteLater();
        if (answered)
            Q_EMIT done();
        else
            Q_EMIT noAnswer();
    };
    connect(socket, &QLocalSocket::connected, socket, [socket] { socket->write(kShow); });
    // Only the first copy's answer proves it runs: a connection alone may reach a socket that
    // no one serves any more.
    connect(socket, &QLocalSocket::readyRead, this, [socket, finish] {
        if (socket->peek(kShown.size()) == kShown)
            finish(true);
    });
    connect(socket, &QLocalSocket::disconnected, this, [finish] { finish(false); });
    connect(socket, &QLocalSocket::errorOccurred, this, [finish] { finish(false); });
    QTimer::singleShot(kAnswerTimeoutMs, socket, [finish] { finish(false); });
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
