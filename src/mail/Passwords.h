#pragma once

#include "platform/Dialogs.h"
#include "platform/SecretStore.h"

#include <QHash>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace mail {

// The login passwords: remembered for the run, kept in the desktop's secret store under
// "<user>@<host>", asked of the user when neither has one. Never written anywhere else.
class Passwords {
public:
    Passwords(platform::ISecretStore& store, platform::IDialogs& dialogs);

    static QString Key(const QString& user, const QString& host) { return user + QLatin1Char('@') + host; }

    // The password from this run's memory, else the store, else the dialog; nothing when the user
    // cancelled. done may run before Obtain returns (a password already known).
    void Obtain(const QString& user, const QString& host, std::function<void(std::optional<QString>)> done);
    // The server refused it: forgotten for the run, and the store's copy is not taken again
    // (a new one typed with "Ricorda la password" replaces it).
    void Forget(const QString& user, const QString& host);
    // Typed in the configuration: remembered for the run and stored.
    void Keep(const QString& user, const QString& host, const QString& password);

private:
    void Ask(const QString& key, const QString& user, const QString& host, bool storeAvailable,
             std::function<void(std::optional<QString>)> done);

    platform::ISecretStore& m_store;
    platform::IDialogs& m_dialogs;
    QHash<QString, QString> m_known;
    QSet<QString> m_storedRefused;
    // Answers from the store or the dialog may come after the program has let us go.
    std::shared_ptr<Passwords*> m_self;
};

} // namespace mail
