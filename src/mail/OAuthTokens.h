#pragma once

#include "platform/Browser.h"
#include "platform/Clock.h"
#include "platform/SecretStore.h"
#include "platform/Timer.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;
class QOAuth2AuthorizationCodeFlow;
class QTcpServer;
class QTcpSocket;

namespace settings {
struct ModMain;
}

namespace mail {

// Where and as whom the program signs in: a provider's preset with the user's overrides.
struct OAuthConfig {
    QString provider; // "microsoft", "google" or "custom"
    QString clientId;
    QString clientSecret;
    QUrl authorizeUrl;
    QUrl tokenUrl;
    QString scope;
    QString user;
    QString host; // the SMTP server: a refresh token belongs to one user at one server

    // The refresh token's own entry in the secret store, never the password's.
    QString StoreKey() const;
    // The settings resolved, or nothing with the reason (Italian) when they cannot work.
    static std::optional<OAuthConfig> Resolve(const settings::ModMain& settings, const QString& host, QString* why);
    // https, or plain http on a loopback address only.
    static bool EndpointAllowed(const QUrl& url);
};

// The token endpoint's answer (JSON). Without an access token, error holds the provider's code.
struct TokenReply {
    bool ok = false;
    QString accessToken;
    QString refreshToken;
    qint64 expiresIn = 0; // seconds; 0: not said
    QString error;
};
TokenReply ParseTokenReply(const QByteArray& body);

// The browser's request to the loopback redirect: its request line, headers possibly following.
struct RedirectRequest {
    bool complete = false; // the request line has arrived
    bool valid = false;    // a GET the sign-in can read
    QString code;
    QString state;
    QString error;
};
RedirectRequest ParseRedirectRequest(const QByteArray& head);

// What a session needs to log in with a token.
class ITokenSource {
public:
    enum class Mode {
        Any,     // the token in memory when it lasts another minute, else refreshed, else the browser
        Refresh, // the server refused the one in memory: a new one
        Browser, // a sign-in in the browser whatever is known ("Accedi ora")
    };
    struct Result {
        std::optional<QString> accessToken;
        QString reason; // why there is none (Italian, never a token)
        // No token because the provider could not be reached (or failed for the moment): worth
        // trying again later. Otherwise only the user can mend it (sign in, settings).
        bool retryLater = false;
    };
    virtual ~ITokenSource() = default;
    // done runs once, later or at once, on the UI thread.
    virtual void Obtain(const OAuthConfig& config, Mode mode, std::function<void(Result)> done) = 0;
};

// OAuth 2.0 for a desktop program: the authorization code flow with PKCE (S256) in the user's
// browser and a loopback redirect on an ephemeral port; the refresh token in the secret store
// (only for this run when no store answers), the access token and its expiry in memory.
class OAuthTokens : public QObject, public ITokenSource {
    Q_OBJECT
public:
    static constexpr int kSignInTimeoutMs = 5 * 60 * 1000;
    static constexpr int kTokenRequestTimeoutMs = 60 * 1000;
    static constexpr double kRefreshMarginSeconds = 60;

    // signInTimer: the wait for the browser; all outlive this object.
    OAuthTokens(platform::ISecretStore& store, platform::IBrowser& browser, platform::ITimer& signInTimer,
                const platform::IClock& clock, QObject* parent = nullptr);
    ~OAuthTokens() override;

    void Obtain(const OAuthConfig& config, Mode mode, std::function<void(Result)> done) override;
    // The user gave up waiting for the browser.
    void CancelSignIn();
    bool Busy() const { return m_pending != nullptr; }
    // The loopback address the browser is sent back to, while a sign-in waits.
    QUrl RedirectUri() const;

Q_SIGNALS:
    // A sign-in page is open in the browser for the account; signInEnded follows in every case.
    void signInWaiting(const QString& account);
    void signInEnded();

private:
    struct Pending;
    struct Known {
        QString accessToken;
        double expires = 0; // days, as the clock counts
        QString refreshToken;
    };

    void Refresh(const QString& refreshToken);
    void StartSignIn();
    void Listener_NewConnection();
    void Browser_Request(QTcpSocket* socket);
    void ExchangeCode(const QString& code);
    // then: the reply, how it failed (for the reason), and whether the failure was the network's
    // or a provider's passing fault rather than an answer about this request.
    void PostToken(const QList<std::pair<QString, QString>>& fields,
                   std::function<void(TokenReply, QString, bool)> then);
    void Granted(const TokenReply& reply, const QString& previousRefresh);
    void End(Result result);
    void StopSignIn();
    QString Account() const;

    platform::ISecretStore& m_store;
    platform::IBrowser& m_browser;
    platform::ITimer& m_signInTimer;
    const platform::IClock& m_clock;
    QNetworkAccessManager* m_http = nullptr;
    QHash<QString, Known> m_known; // by store key
    std::unique_ptr<Pending> m_pending;
    quint64 m_generation = 0; // tells late answers of an ended request apart
    std::shared_ptr<OAuthTokens*> m_self;
};

} // namespace mail
