// The module brevilo_keychain: the secret store through QtKeychain (the Secret Service on a
// Linux desktop). Built as a shared module so that QtKeychain and QtDBus are loaded only
// when a password is first needed.
#include "SecretStore.h"

#include <qt6keychain/keychain.h>

namespace {

class KeychainStore final : public platform::ISecretStore {
public:
    void Read(const QString& key, std::function<void(Found)> done) override
    {
        auto* job = new QKeychain::ReadPasswordJob(platform::kSecretService);
        Prepare(job, key);
        QObject::connect(job, &QKeychain::Job::finished, [job, done = std::move(done)] {
            Found found;
            found.available = job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound;
            found.found = job->error() == QKeychain::NoError;
            if (found.found)
                found.password = job->textData();
            done(found);
        });
        job->start();
    }

    void Write(const QString& key, const QString& password, std::function<void(bool)> done) override
    {
        auto* job = new QKeychain::WritePasswordJob(platform::kSecretService);
        Prepare(job, key);
        job->setTextData(password);
        QObject::connect(job, &QKeychain::Job::finished,
                         [job, done = std::move(done)] { done(job->error() == QKeychain::NoError); });
        job->start();
    }

    void Remove(const QString& key, std::function<void(bool)> done) override
    {
        auto* job = new QKeychain::DeletePasswordJob(platform::kSecretService);
        Prepare(job, key);
        QObject::connect(job, &QKeychain::Job::finished, [job, done = std::move(done)] {
            done(job->error() == QKeychain::NoError || job->error() == QKeychain::EntryNotFound);
        });
        job->start();
    }

private:
    static void Prepare(QKeychain::Job* job, const QString& key)
    {
        job->setAutoDelete(true);
        job->setKey(key);
        // Never a plain-text file when no store answers.
        job->setInsecureFallback(false);
    }
};

} // namespace

extern "C" Q_DECL_EXPORT platform::ISecretStore* BreviloCreateSecretStore()
{
    return new KeychainStore;
}
