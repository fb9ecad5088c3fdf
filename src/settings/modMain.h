#pragma once

#include "platform/SettingsStore.h"

#include <QString>

#include <array>

namespace settings {

inline constexpr qint32 kDefaultRetryHours = 24;

// The program's settings variables. One instance lives as long as the program and is
// handed to whoever reads it; only the configuration dialog's OK changes it after load.
struct ModMain {
    QString SMTP;
    QString From;
    qint32 TempoAttesa = 0;
    std::array<QString, 3> NewsDest;
    // Hours after its creation during which a temporarily failed message is tried again; 0: never.
    qint32 RetryHours = kDefaultRetryHours;

    // Submission: "none" (plain SMTP, no login), "starttls" or "tls"; the login name (empty: no
    // login); the one certificate the user chose to trust, as "host fingerprint".
    QString Security = QStringLiteral("none");
    QString User;
    QString TrustedCertificate;

    // How the login proves itself: "password" or "oauth2" (a token from the provider's sign-in in
    // the browser). The provider is "microsoft", "google" or "custom"; the other five override its
    // preset and are all needed for "custom". Only the refresh token is secret: it is never here.
    QString Auth = QStringLiteral("password");
    QString OAuthProvider = QStringLiteral("microsoft");
    QString OAuthClientId;
    QString OAuthClientSecret;
    QString OAuthAuthorizeUrl;
    QString OAuthTokenUrl;
    QString OAuthScope;

    // Not stored: every run starts with them off.
    bool SerieA = false;
    bool SerieB = false;
    bool PallavoloA1_finali = false;
    bool PallavoloA1_parziali = false;
    QString PallavoloDettaglio;
    bool Notizie = false;
    bool TuttiGol = false;

    // Read at load when present, never written: the news hosts, and a PEM file of extra
    // certificates to trust. The operator's gateway is written only once it differs from
    // the built-in placeholder (the configuration dialog can set it).
    QString SmsGateway;
    QString CaFile;
    QString VolleyHost;
    QString NewsHost;
    QString FootballHost;

    // Loads in the stored order; returns the sender name for txtName.
    QString Load(const platform::ISettingsStore& store);
    void Save(platform::ISettingsStore& store, const QString& senderName) const;
};

inline const QString kAppName = QStringLiteral("Brevilo");

// Placeholder under the reserved .invalid domain, so that a mistake never mails a stranger;
// the store key Address/SmsGateway supplies the operator's real one.
inline const QString kDefaultSmsGateway = QStringLiteral("sms.gateway.invalid");

// The number conversion of the waiting time: blanks ignored, leading number, half to even,
// clamped to the 32-bit range.
qint32 ConvertTempoAttesa(const QString& text);

} // namespace settings
