#include "SecretStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QLibrary>
#include <QTimer>

namespace platform {

namespace {
using Factory = ISecretStore* (*)();

Factory LoadFactory()
{
    // Beside the program, then where it is installed (found from the program, so a package
    // under /usr and a build installed under /usr/local both work), then where it was built.
    const QString program = QCoreApplication::applicationDirPath();
    QStringList folders = {program, program + QStringLiteral("/../" BREVILO_MODULE_INSTALL_DIR)};
    // The build folder only for a program that runs from the build tree (tests, ./run.sh):
    // an installed program never loads code from a path it was built in.
    const QString buildRoot = QStringLiteral(BREVILO_BUILD_ROOT);
    if (program.startsWith(buildRoot + QLatin1Char('/')))
        folders << QStringLiteral(BREVILO_MODULE_BUILD_DIR);
    for (const QString& folder : folders) {
        QLibrary module(QDir(folder).filePath(QStringLiteral("brevilo_keychain")));
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
