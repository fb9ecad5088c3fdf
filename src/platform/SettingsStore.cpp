#include "SettingsStore.h"

#include "PrivateFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QSettings>

namespace platform {

namespace {
// Earlier builds kept the settings in <app>.ini beside today's <app>.conf. Without a .conf
// yet, the old file is read once and saved as the .conf; the old file stays as it was.
void AdoptOldIniFile(QSettings& settings, const QString& app)
{
    const QSettings old(QSettings::IniFormat, QSettings::UserScope, app, app);
    if (!QFileInfo::exists(old.fileName()))
        return;
    const QStringList keys = old.allKeys();
    for (const QString& key : keys)
        settings.setValue(key, old.value(key));
    settings.sync();
}

// QSettings saves through a file that takes the mode of the one it replaces: a missing file is
// made 0600 first, in a 0700 folder, so the first save is private too. True when it was missing.
bool PrepareFile(const QString& path)
{
    MakePrivateFolder(QFileInfo(path).path());
    if (QFileInfo::exists(path))
        return false;
    QFile file(path);
    if (file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        MakePrivate(file);
        file.close();
    }
    return true;
}
} // namespace

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
        if (m_iniFilePath.isEmpty()) {
            m_settings = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, app, app);
            if (PrepareFile(m_settings->fileName()))
                AdoptOldIniFile(*m_settings, app);
        } else {
            PrepareFile(m_iniFilePath);
            m_settings = std::make_unique<QSettings>(m_iniFilePath, QSettings::IniFormat);
        }
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
