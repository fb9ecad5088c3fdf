#include "SettingsStore.h"

#include <QSettings>

namespace platform {

QtSettingsStore::QtSettingsStore() = default;

QtSettingsStore::QtSettingsStore(const QString& iniFilePath) : m_iniFilePath(iniFilePath) {}

QtSettingsStore::~QtSettingsStore()
{
    if (m_settings)
        m_settings->sync();
}

QSettings& QtSettingsStore::SettingsFor(const QString& app) const
{
    if (!m_settings || m_app != app) {
        if (m_settings)
            m_settings->sync();
        if (m_iniFilePath.isEmpty())
            m_settings = std::make_unique<QSettings>(QSettings::IniFormat, QSettings::UserScope, app, app);
        else
            m_settings = std::make_unique<QSettings>(m_iniFilePath, QSettings::IniFormat);
        m_app = app;
    }
    return *m_settings;
}

QString QtSettingsStore::ReadSetting(const QString& app, const QString& section, const QString& key,
                                     const QString& defaultValue) const
{
    const QVariant value = SettingsFor(app).value(section + QLatin1Char('/') + key);
    // A hand-edited file may hold a list or another type; only a plain value counts.
    if (!value.isValid() || value.typeId() == QMetaType::QStringList)
        return defaultValue;
    return value.toString();
}

void QtSettingsStore::WriteSetting(const QString& app, const QString& section, const QString& key,
                                   const QString& value)
{
    SettingsFor(app).setValue(section + QLatin1Char('/') + key, value);
}

bool QtSettingsStore::Sync()
{
    if (!m_settings)
        return true;
    m_settings->sync();
    return m_settings->status() == QSettings::NoError;
}

} // namespace platform
