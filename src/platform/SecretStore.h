#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

namespace platform {

// The desktop's store of secrets, under the service "Brevilo". Every answer comes later,
// through the callback, on the UI thread. Plain C++ (no signals), so an implementation can
// live in a module that is loaded only when first needed.
class ISecretStore {
public:
    struct Found {
        bool available = false; // a store answered (an entry may still be missing)
        bool found = false;
        QString password;
    };
    virtual ~ISecretStore() = default;
    virtual void Read(const QString& key, std::function<void(Found)> done) = 0;
    // ok: the store now holds the password.
    virtual void Write(const QString& key, const QString& password, std::function<void(bool ok)> done) = 0;
    virtual void Remove(const QString& key, std::function<void(bool ok)> done) = 0;
};

// The QtKeychain store, from the module brevilo_keychain loaded on first use. When the module
// or its libraries cannot be loaded, every read answers "not available" and every write fails:
// the password then lives only in memory; there is no plain-text fallback.
class LazySecretStore final : public ISecretStore {
public:
    LazySecretStore();
    ~LazySecretStore() override;
    void Read(const QString& key, std::function<void(Found)> done) override;
    void Write(const QString& key, const QString& password, std::function<void(bool ok)> done) override;
    void Remove(const QString& key, std::function<void(bool ok)> done) override;

private:
    ISecretStore* Store();

    std::unique_ptr<ISecretStore> m_store;
    bool m_tried = false;
};

// The module files a program in programDirectory may load, in the order they are tried: where it
// was installed (the prefix compiled in, and the same layout found from the program, for an
// install that was moved), and the build tree for a program that runs from it. Never beside the
// program: a copy in a shared folder would run whatever another user put next to it.
QStringList SecretStoreModuleCandidates(const QString& programDirectory);
// Code is loaded only from a regular file that, like its folder, belongs to root or this user
// and that no one else can write to.
bool TrustedForCode(const QString& modulePath);

inline const QString kSecretService = QStringLiteral("Brevilo");

} // namespace platform

// The one entry point of the module.
extern "C" platform::ISecretStore* BreviloCreateSecretStore();
