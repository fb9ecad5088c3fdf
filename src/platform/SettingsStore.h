#pragma once

#include <QString>

#include <memory>

class QSettings;

namespace platform {

// Per-user store addressed by application, section and key. A missing entry is never an error.
class ISettingsStore {
public:
    virtual ~ISettingsStore() = default;
    virtual QString ReadSetting(const QString& app, const QString& section, const QString& key,
                                const QString& defaultValue) const = 0;
    virtual void WriteSetting(const QString& app, const QString& section, const QString& key,
                              const QString& value) = 0;
};

// QSettings with organisation = application name; on Linux ~/.config/<app>/<app>.conf.
// Given a file path instead, it keeps that INI file (tests use a temporary one).
class QtSettingsStore final : public ISettingsStore {
public:
    QtSettingsStore();
    explicit QtSettingsStore(const QString& iniFilePath);
    ~QtSettingsStore() override;
    QString ReadSetting(const QString& app, const QString& section, const QString& key,
                        const QString& defaultValue) const override;
    void WriteSetting(const QString& app, const QString& section, const QString& key,
                      const QString& value) override;
    // Flushes to disk; false when the store could not be written.
    bool Sync();

private:
    QSettings& SettingsFor(const QString& app) const;

    QString m_iniFilePath;
    mutable std::unique_ptr<QSettings> m_settings;
    mutable QString m_app;
};

} // namespace platform
