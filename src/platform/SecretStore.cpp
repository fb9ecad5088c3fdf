#include "SecretStore.h"

#include "PrivateFiles.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLibrary>
#include <QTimer>

namespace platform {

namespace {
using Factory = ISecretStore* (*)();

Factory LoadFactory()
{
    for (const QString& path : SecretStoreModuleCandidates(QCoreApplication::applicationDirPath())) {
        if (!TrustedForCode(path))
            continue;
        QLibrary module(path);
        if (auto factory = reinterpret_cast<Factory>(module.resolve("BreviloCreateSecretStore")))
            return factory;
    }
    return nullptr;
}

// Answers "later", as a store would, so callers never see a callback inside their own call.
void Later(std::function<void()> call)
{
    QTimer::singleShot(0, QCoreApplication::instance(), std::move(call));
}
} // namespace

QStringList SecretStoreModuleCandidates(const QString& programDirectory)
{
    const QString file = QStringLiteral("/brevilo_keychain.so");
    const QString program = QDir::cleanPath(programDirectory);
    QStringList paths = {QStringLiteral(BREVILO_INSTALL_PREFIX "/" BREVILO_MODULE_INSTALL_DIR) + file,
                         QDir::cleanPath(program + QStringLiteral("/../" BREVILO_MODULE_INSTALL_DIR)) + file};
    // The build folder only for a program that runs from the build tree (tests, ./run.sh):
    // an installed program never loads code from a path it was built in.
    const QString buildRoot = QStringLiteral(BREVILO_BUILD_ROOT);
    if (program.startsWith(buildRoot + QLatin1Char('/')))
        paths << QStringLiteral(BREVILO_MODULE_BUILD_DIR) + file;
    paths.removeDuplicates();
    return paths;
}

bool TrustedForCode(const QString& modulePath)
{
    const QFileInfo info(modulePath);
    return info.isFile() && OwnedAndNotWritableByOthers(modulePath) && OwnedAndNotWritableByOthers(info.path());
}

LazySecretStore::LazySecretStore() = default;
LazySecretStore::~LazySecretStore() = default;

ISecretStore* LazySecretStore::Store()
{
    if (!m_tried) {
        m_tried = true;
        if (Factory factory = LoadFactory())
            m_store.reset(factory());
    }
    return m_store.get();
}

void LazySecretStore::Read(const QString& key, std::function<void(Found)> done)
{
    if (ISecretStore* store = Store())
        store->Read(key, std::move(done));
    else
        Later([done = std::move(done)] { done({}); });
}

void LazySecretStore::Write(const QString& key, const QString& password, std::function<void(bool)> done)
{
    if (ISecretStore* store = Store())
        store->Write(key, password, std::move(done));
    else
        Later([done = std::move(done)] { done(false); });
}

void LazySecretStore::Remove(const QString& key, std::function<void(bool)> done)
{
    if (ISecretStore* store = Store())
        store->Remove(key, std::move(done));
    else
        Later([done = std::move(done)] { done(false); });
}

} // namespace platform
