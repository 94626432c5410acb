#include "platform/userdefaults.h"

#include "platform/jsonsettingsformat.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

std::optional<bool> UserDefaults::boolValue(const QString& key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::Bool)
        return std::nullopt;
    return v.toBool();
}

std::optional<QString> UserDefaults::stringValue(const QString& key) const
{
    const QVariant v = value(key);
    if (v.typeId() != QMetaType::QString)
        return std::nullopt;
    return v.toString();
}

QString SettingsUserDefaults::standardFilePath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/porthive/porthive.json");
}

SettingsUserDefaults::SettingsUserDefaults()
#if defined(Q_OS_MACOS)
    : m_settings(std::make_unique<QSettings>(QStringLiteral("com.vemo.porthive"), QStringLiteral("Porthive")))
#else
    : m_settings(std::make_unique<QSettings>(standardFilePath(), jsonSettingsFormat()))
#endif
{}

SettingsUserDefaults::SettingsUserDefaults(const QString& filePath)
    : m_settings(std::make_unique<QSettings>(filePath, jsonSettingsFormat()))
{}

SettingsUserDefaults::~SettingsUserDefaults() = default;

QVariant SettingsUserDefaults::value(const QString& key) const
{
    return m_settings->value(key);
}

bool SettingsUserDefaults::contains(const QString& key) const
{
    return m_settings->contains(key);
}

void SettingsUserDefaults::setValue(const QString& key, const QVariant& value)
{
    m_settings->setValue(key, value);
    m_settings->sync();
}

void SettingsUserDefaults::remove(const QString& key)
{
    m_settings->remove(key);
    m_settings->sync();
}

QString SettingsUserDefaults::fileName() const
{
    return m_settings->fileName();
}
