#include "OAuthTokens.h"

#include "settings/modMain.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QOAuth2AuthorizationCodeFlow>
#include <QOAuthOobReplyHandler>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrlQuery>

#ifndef BREVILO_OAUTH_MICROSOFT_CLIENT_ID
#define BREVILO_OAUTH_MICROSOFT_CLIENT_ID ""
#endif
#ifndef BREVILO_OAUTH_GOOGLE_CLIENT_ID
#define BREVILO_OAUTH_GOOGLE_CLIENT_ID ""
#endif
#ifndef BREVILO_OAUTH_GOOGLE_CLIENT_SECRET
#define BREVILO_OAUTH_GOOGLE_CLIENT_SECRET ""
#endif

namespace mail {

namespace {

struct Preset {
    const char* name;
    const char* authorize;
    const char* token;
    const char* scope;
    const char* clientId;
    const char* clientSecret;
};

const Preset kPresets[] = {
    {"microsoft", "https://login.microsoftonline.com/common/oauth2/v2.0/authorize",
     "https://login.microsoftonline.com/common/oauth2/v2.0/token", "https://outlook.office.com/SMTP.Send offline_access",
     BREVILO_OAUTH_MICROSOFT_CLIENT_ID, ""},
    {"google", "https://accounts.google.com/o/oauth2/v2/auth", "https://oauth2.googleapis.com/token",
     "https://mail.google.com/", BREVILO_OAUTH_GOOGLE_CLIENT_ID, BREVILO_OAUTH_GOOGLE_CLIENT_SECRET},
};

QByteArray Base64Url(const QByteArray& bytes)
{
    return bytes.toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray RandomToken(int bytes)
{
    QByteArray random(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(random.data()), bytes / 4);
    return Base64Url(random);
}

// The browser's tab after the redirect: the user goes back to the program.
QByteArray Page(bool ok)
{
    const QByteArray text = ok ? QByteArrayLiteral("Accesso riuscito. Puoi chiudere questa pagina e tornare a Brevilo.")
                               : QByteArrayLiteral("Accesso non riuscito. Puoi chiudere questa pagina: Brevilo "
                                                   "dice che cosa è successo.");
    const QByteArray body = "<!DOCTYPE html><html lang=\"it\"><head><meta charset=\"utf-8\"><title>Brevilo</title>"
                            "</head><body><p>"
        + text + "</p></body></html>";
    return "HTTP/1.1 200 OK\r\nContent-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\n"
           "Connection: close\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

// Qt's flow builds the authorization URL; its redirect URI is our own loopback listener.
class LoopbackReplyHandler final : public QOAuthOobReplyHandler {
public:
    using QOAuthOobReplyHandler::QOAuthOobReplyHandler;
    QString callback() const override { return uri; }
    QString uri;
};

// Only the URL is wanted of the flow; the token requests are ours, so that every refusal of the
// provider is seen (Qt 6.4's flow only logs a failed token request and never reports it).
class AuthorizationFlow final : public QOAuth2AuthorizationCodeFlow {
public:
    using QOAuth2AuthorizationCodeFlow::buildAuthenticateUrl;
};

} // namespace

QString OAuthConfig::StoreKey() const
{
    return user + QLatin1Char('@') + host + QStringLiteral(" oauth2 ") + provider;
}

bool OAuthConfig::EndpointAllowed(const QUrl& url)
{
    if (!url.isValid() || url.host().isEmpty())
        return false;
    if (url.scheme() == QLatin1String("https"))
        return true;
    const QString host = url.host();
    return url.scheme() == QLatin1String("http")
        && (host == QLatin1String("127.0.0.1") || host == QLatin1String("::1") || host == QLatin1String("localhost"));
}

std::optional<OAuthConfig> OAuthConfig::Resolve(const settings::ModMain& settings, const QString& host, QString* why)
{
    OAuthConfig config;
    config.provider = settings.OAuthProvider.trimmed().toLower();
    config.user = settings.User.trimmed();
    config.host = host;
    const Preset* preset = nullptr;
    for (const Preset& p : kPresets)
        if (config.provider == QLatin1String(p.name))
            preset = &p;
    if (!preset && config.provider != QLatin1String("custom")) {
        *why = QStringLiteral("Fornitore OAuth sconosciuto: \"%1\" (microsoft, google o custom)").arg(settings.OAuthProvider);
        return std::nullopt;
    }
    const auto pick = [](const QString& own, const char* preset) {
        return own.trimmed().isEmpty() && preset ? QString::fromUtf8(preset) : own.trimmed();
    };
    config.clientId = pick(settings.OAuthClientId, preset ? preset->clientId : nullptr);
    config.clientSecret = pick(settings.OAuthClientSecret, preset ? preset->clientSecret : nullptr);
    config.authorizeUrl = QUrl(pick(settings.OAuthAuthorizeUrl, preset ? preset->authorize : nullptr));
    config.tokenUrl = QUrl(pick(settings.OAuthTokenUrl, preset ? preset->token : nullptr));
    config.scope = pick(settings.OAuthScope, preset ? preset->scope : nullptr);
    if (config.clientId.isEmpty()) {
        *why = QStringLiteral("Per l'accesso OAuth serve un ID client: registrare Brevilo presso il fornitore e "
                              "indicarlo in \"Server e account…\" (il README spiega come)");
        return std::nullopt;
    }
    if (config.scope.isEmpty()) {
        *why = QStringLiteral("Per l'accesso OAuth serve l'ambito (scope)");
        return std::nullopt;
    }
    for (const QUrl& url : {config.authorizeUrl, config.tokenUrl}) {
        if (!EndpointAllowed(url)) {
            *why = QStringLiteral("Indirizzo OAuth non accettato: \"%1\" (serve https://, http:// solo in locale)")
                       .arg(url.toString());
            return std::nullopt;
        }
    }
    return config;
}

TokenReply ParseTokenReply(const QByteArray& body)
{
    TokenReply reply;
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject()) {
        reply.error = QStringLiteral("invalid_response");
        return reply;
    }
    const QJsonObject object = document.object();
    reply.error = object.value(QLatin1String("error")).toString();
    reply.accessToken = object.value(QLatin1String("access_token")).toString();
    reply.refreshToken = object.value(QLatin1String("refresh_token")).toString();
    // Some providers send the lifetime as a string.
    const QJsonValue expires = object.value(QLatin1String("expires_in"));
    const double seconds = expires.isString() ? expires.toString().toDouble() : expires.toDouble();
    reply.expiresIn = seconds > 0 && seconds < 1e9 ? static_cast<qint64>(seconds) : 0;
    const QString type = object.value(QLatin1String("token_type")).toString();
    reply.ok = reply.error.isEmpty() && !reply.accessToken.isEmpty()
        && (type.isEmpty() || type.compare(QLatin1String("bearer"), Qt::CaseInsensitive) == 0);
    if (!reply.ok && reply.error.isEmpty())
        reply.error = QStringLiteral("invalid_response");
    // The code is the provider's word; kept short and printable, it may go into a status line.
    if (reply.error.size() > 64 || reply.error.contains(QRegularExpression(QStringLiteral("[^A-Za-z0-9_.-]"))))
        reply.error = QStringLiteral("invalid_response");
    return reply;
}

RedirectRequest ParseRedirectRequest(const QByteArray& head)
{
    RedirectRequest request;
    const qsizetype end = head.indexOf('\n');
    if (end < 0)
        return request;
    request.complete = true;
    const QList<QByteArray> words = head.left(end).trimmed().split(' ');
    if (words.size() != 3 || words[0] != "GET" || !words[2].startsWith("HTTP/") || !words[1].startsWith('/'))
        return request;
    const QUrl target(QString::fromLatin1(words[1]), QUrl::StrictMode);
    if (!target.isValid())
        return request;
    const QUrlQuery query(target);
    request.code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
    request.state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    request.error = query.queryItemValue(QStringLiteral("error"), QUrl::FullyDecoded).left(64);
    request.valid = target.path() == QLatin1String("/") && (!request.code.isEmpty() || !request.error.isEmpty());
    return request;
}

struct OAuthTokens::Pending {
    OAuthConfig config;
    std::function<void(Result)> done;
    QString refreshToken; // the one being tried
    // The sign-in in the browser.
    QTcpServer* listener = nullptr;
    QString state;
    QByteArray verifier;
    QUrl redirectUri; // kept: the token request repeats it after the listener has closed
    bool browserOpen = false;
};

OAuthTokens::OAuthTokens(platform::ISecretStore& store, platform::IBrowser& browser, platform::ITimer& signInTimer,
                         const platform::IClock& clock, QObject* parent)
    : QObject(parent),
      m_store(store),
      m_browser(browser),
      m_signInTimer(signInTimer),
      m_clock(clock),
      m_self(std::make_shared<OAuthTokens*>(this))
{
    connect(&m_signInTimer, &platform::ITimer::timeout, this, [this] {
        if (!m_pending || !m_pending->browserOpen)
            return;
        End({std::nullopt, QStringLiteral("Accesso per %1: nessuna risposta dal browser entro 5 minuti").arg(Account())});
    });
}

OAuthTokens::~OAuthTokens()
{
    if (m_pending)
        StopSignIn();
}

QString OAuthTokens::Account() const
{
    return m_pending ? m_pending->config.user + QStringLiteral(" (") + m_pending->config.host + QLatin1Char(')')
                     : QString();
}

QUrl OAuthTokens::RedirectUri() const
{
    return m_pending ? m_pending->redirectUri : QUrl();
}

void OAuthTokens::Obtain(const OAuthConfig& config, Mode mode, std::function<void(Result)> done)
{
    if (m_pending) {
        done({std::nullopt, QStringLiteral("Un altro accesso è già in corso"), true});
        return;
    }
    ++m_generation;
    m_pending = std::make_unique<Pending>();
    m_pending->config = config;
    m_pending->done = std::move(done);
    const QString key = config.StoreKey();
    Known& known = m_known[key];
    if (mode == Mode::Browser) {
        StartSignIn();
        return;
    }
    if (mode == Mode::Refresh)
        known.accessToken.clear();
    if (!known.accessToken.isEmpty() && known.expires - m_clock.Now() > kRefreshMarginSeconds / platform::kSecondsPerDay) {
        End({known.accessToken, {}});
        return;
    }
    if (!known.refreshToken.isEmpty()) {
        Refresh(known.refreshToken);
        return;
    }
    std::weak_ptr<OAuthTokens*> self = m_self;
    const quint64 generation = m_generation;
    m_store.Read(key, [self, generation](platform::ISecretStore::Found found) {
        const auto alive = self.lock();
        if (!alive || (*alive)->m_generation != generation || !(*alive)->m_pending)
            return;
        if (found.found && !found.password.isEmpty())
            (*alive)->Refresh(found.password);
        else
            (*alive)->StartSignIn();
    });
}

void OAuthTokens::Refresh(const QString& refreshToken)
{
    m_pending->refreshToken = refreshToken;
    const OAuthConfig& config = m_pending->config;
    QList<std::pair<QString, QString>> fields = {{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                                 {QStringLiteral("refresh_token"), refreshToken},
                                                 {QStringLiteral("client_id"), config.clientId},
                                                 {QStringLiteral("scope"), config.scope}};
    PostToken(fields, [this](TokenReply reply, QString failure, bool passing) {
        if (reply.ok) {
            Granted(reply, m_pending->refreshToken);
            return;
        }
        if (reply.error == QLatin1String("invalid_grant")) {
            // Revoked or expired: forgotten everywhere, and the user signs in again.
            const QString key = m_pending->config.StoreKey();
            m_known.remove(key);
            m_store.Remove(key, [](bool) {});
            StartSignIn();
            return;
        }
        End({std::nullopt, QStringLiteral("Accesso per %1: rinnovo del token non riuscito (%2)").arg(Account(), failure),
             passing});
    });
}

void OAuthTokens::StartSignIn()
{
    Pending& pending = *m_pending;
    pending.listener = new QTcpServer(this);
    // The loopback address only: the port-only way of listening would take every interface.
    if (!pending.listener->listen(QHostAddress::LocalHost, 0)) {
        End({std::nullopt, QStringLiteral("Accesso per %1: impossibile attendere il browser su 127.0.0.1").arg(Account()),
             true});
        return;
    }
    connect(pending.listener, &QTcpServer::newConnection, this, &OAuthTokens::Listener_NewConnection);
    pending.redirectUri = QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(pending.listener->serverPort()));
    pending.state = QString::fromLatin1(RandomToken(24));
    pending.verifier = RandomToken(48);
    const QByteArray challenge = Base64Url(QCryptographicHash::hash(pending.verifier, QCryptographicHash::Sha256));

    // Qt's flow puts the client id, redirect URI, scope and state together; PKCE goes in
    // through its parameter hook, which Qt 6.4 offers in place of its own PKCE.
    AuthorizationFlow flow;
    auto* handler = new LoopbackReplyHandler(&flow);
    handler->uri = RedirectUri().toString();
    flow.setReplyHandler(handler);
    flow.setAuthorizationUrl(pending.config.authorizeUrl);
    flow.setClientIdentifier(pending.config.clientId);
    flow.setScope(pending.config.scope);
    flow.setState(pending.state);
    flow.setModifyParametersFunction([challenge](QAbstractOAuth::Stage stage, QMultiMap<QString, QVariant>* parameters) {
        if (stage == QAbstractOAuth::Stage::RequestingAuthorization) {
            parameters->replace(QStringLiteral("code_challenge"), QString::fromLatin1(challenge));
            parameters->replace(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
        }
    });
    QMultiMap<QString, QVariant> extra;
    extra.insert(QStringLiteral("login_hint"), pending.config.user);
    const QUrl url = flow.buildAuthenticateUrl(extra);

    pending.browserOpen = true;
    m_signInTimer.Start(kSignInTimeoutMs, true);
    Q_EMIT signInWaiting(Account());
    if (m_pending && !m_browser.OpenUrl(url))
        End({std::nullopt, QStringLiteral("Accesso per %1: impossibile aprire il browser").arg(Account())});
}

void OAuthTokens::Listener_NewConnection()
{
    if (!m_pending || !m_pending->listener)
        return;
    while (QTcpSocket* socket = m_pending->listener->nextPendingConnection()) {
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { Browser_Request(socket); });
    }
}

void OAuthTokens::Browser_Request(QTcpSocket* socket)
{
    // A request line longer than this is no redirect of ours.
    constexpr qsizetype kMaxRequestLine = 16 * 1024;
    const QByteArray head = socket->peek(kMaxRequestLine);
    const RedirectRequest request = ParseRedirectRequest(head);
    if (!request.complete && head.size() < kMaxRequestLine)
        return;
    socket->readAll();
    if (!m_pending || !m_pending->browserOpen || !request.valid) {
        // A browser's extra request (the icon) or a stranger: no answer of the sign-in.
        socket->write("HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
        socket->disconnectFromHost();
        return;
    }
    const bool stateMatches = request.state == m_pending->state;
    socket->write(Page(stateMatches && request.error.isEmpty()));
    socket->disconnectFromHost();
    m_pending->browserOpen = false;
    m_signInTimer.Stop();
    // One answer only: nobody else may knock any more.
    m_pending->listener->close();
    if (!stateMatches) {
        End({std::nullopt, QStringLiteral("Accesso per %1: la risposta del browser non corrisponde alla richiesta "
                                          "(state diverso)")
                               .arg(Account())});
        return;
    }
    if (!request.error.isEmpty()) {
        End({std::nullopt, QStringLiteral("Accesso per %1 rifiutato dal fornitore: %2").arg(Account(), request.error)});
        return;
    }
    ExchangeCode(request.code);
}

void OAuthTokens::ExchangeCode(const QString& code)
{
    const OAuthConfig& config = m_pending->config;
    QList<std::pair<QString, QString>> fields = {{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                                                 {QStringLiteral("code"), code},
                                                 {QStringLiteral("redirect_uri"), RedirectUri().toString()},
                                                 {QStringLiteral("client_id"), config.clientId},
                                                 {QStringLiteral("code_verifier"), QString::fromLatin1(m_pending->verifier)}};
    PostToken(fields, [this](TokenReply reply, QString failure, bool passing) {
        if (reply.ok)
            Granted(reply, QString());
        else
            End({std::nullopt, QStringLiteral("Accesso per %1: il fornitore non ha dato il token (%2)").arg(Account(), failure),
                 passing});
    });
}

void OAuthTokens::PostToken(const QList<std::pair<QString, QString>>& fields,
                            std::function<void(TokenReply, QString, bool)> then)
{
    QUrlQuery form;
    for (const auto& [name, value] : fields)
        form.addQueryItem(name, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    if (!m_pending->config.clientSecret.isEmpty())
        form.addQueryItem(QStringLiteral("client_secret"),
                          QString::fromLatin1(QUrl::toPercentEncoding(m_pending->config.clientSecret)));
    QNetworkRequest request(m_pending->config.tokenUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(kTokenRequestTimeoutMs);
    // Never follow a redirect with the code or the refresh token in the body.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (!m_http)
        m_http = new QNetworkAccessManager(this);
    QNetworkReply* reply = m_http->post(request, form.query(QUrl::FullyEncoded).toLatin1());
    const quint64 generation = m_generation;
    connect(reply, &QNetworkReply::finished, this, [this, reply, generation, then = std::move(then)] {
        reply->deleteLater();
        if (!m_pending || m_generation != generation)
            return;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        TokenReply parsed = ParseTokenReply(reply->read(256 * 1024));
        if (status == 0) {
            // No HTTP answer at all: the reason is the network's, never the request.
            parsed.ok = false;
            then(parsed, reply->errorString(), true);
            return;
        }
        if (status != 200)
            parsed.ok = false;
        // A server error or "too many requests" says nothing about the request: ask again later.
        then(parsed, QStringLiteral("HTTP %1, %2").arg(status).arg(parsed.error.isEmpty() ? QStringLiteral("-") : parsed.error),
             status >= 500 || status == 429);
    });
}

void OAuthTokens::Granted(const TokenReply& reply, const QString& previousRefresh)
{
    const QString key = m_pending->config.StoreKey();
    Known& known = m_known[key];
    known.accessToken = reply.accessToken;
    // Without a lifetime, taken as an hour, the common one; a refused token is renewed anyway.
    known.expires = m_clock.Now() + (reply.expiresIn > 0 ? reply.expiresIn : 3600) / platform::kSecondsPerDay;
    const QString refresh = reply.refreshToken.isEmpty() ? previousRefresh : reply.refreshToken;
    if (!refresh.isEmpty()) {
        known.refreshToken = refresh;
        if (refresh != previousRefresh)
            m_store.Write(key, refresh, [](bool) {});
    }
    End({known.accessToken, {}});
}

void OAuthTokens::CancelSignIn()
{
    if (m_pending && m_pending->browserOpen)
        End({std::nullopt, QStringLiteral("Accesso per %1 annullato").arg(Account())});
}

void OAuthTokens::StopSignIn()
{
    m_signInTimer.Stop();
    if (m_pending->listener) {
        m_pending->listener->close();
        m_pending->listener->deleteLater();
        m_pending->listener = nullptr;
    }
}

void OAuthTokens::End(Result result)
{
    const bool signedIn = m_pending->browserOpen || m_pending->listener;
    StopSignIn();
    std::function<void(Result)> done = std::move(m_pending->done);
    m_pending.reset();
    ++m_generation;
    if (signedIn)
        Q_EMIT signInEnded();
    done(std::move(result));
}

} // namespace mail
