#include "Passwords.h"

namespace mail {

Passwords::Passwords(platform::ISecretStore& store, platform::IDialogs& dialogs)
    : m_store(store), m_dialogs(dialogs), m_self(std::make_shared<Passwords*>(this))
{
}

void Passwords::Obtain(const QString& user, const QString& host, std::function<void(std::optional<QString>)> done)
{
    const QString key = Key(user, host);
    if (const auto known = m_known.constFind(key); known != m_known.constEnd()) {
        done(*known);
        return;
    }
    std::weak_ptr<Passwords*> self = m_self;
    m_store.Read(key, [self, key, user, host, done = std::move(done)](platform::ISecretStore::Found found) mutable {
        const auto alive = self.lock();
        if (!alive)
            return;
        Passwords& me = **alive;
        if (found.found && !me.m_storedRefused.contains(key)) {
            me.m_known.insert(key, found.password);
            done(found.password);
            return;
        }
        me.Ask(key, user, host, found.available, std::move(done));
    });
}

void Passwords::Ask(const QString& key, const QString& user, const QString& host, bool storeAvailable,
                    std::function<void(std::optional<QString>)> done)
{
    std::weak_ptr<Passwords*> self = m_self;
    m_dialogs.AskPassword(user, host, storeAvailable,
                          [self, key, done = std::move(done)](platform::IDialogs::PasswordAnswer answer) {
                              const auto alive = self.lock();
                              if (!alive || !answer.answered) {
                                  done(std::nullopt);
                                  return;
                              }
                              Passwords& me = **alive;
                              me.m_known.insert(key, answer.password);
                              if (answer.remember) {
                                  me.m_storedRefused.remove(key);
                                  me.m_store.Write(key, answer.password, [](bool) {});
                              }
                              done(answer.password);
                          });
}

void Passwords::Forget(const QString& user, const QString& host)
{
    const QString key = Key(user, host);
    m_known.remove(key);
    m_storedRefused.insert(key);
}

void Passwords::Keep(const QString& user, const QString& host, const QString& password)
{
    const QString key = Key(user, host);
    m_known.insert(key, password);
    m_storedRefused.remove(key);
    m_store.Write(key, password, [](bool) {});
}

} // namespace mail
