#include "platform/userdefaults.h"

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

SettingsUserDefaults::SettingsUserDefaults(SettingsProblemReporter report)
    : m_report(std::move(report))
{
#if defined(Q_OS_MACOS)
    m_native = std::make_unique<QSettings>(QStringLiteral("com.vemo.porthive"), QStringLiteral("Porthive"));
#else
    m_file = JsonSettingsFile::open(standardFilePath());
    reportProblems();
#endif
}

SettingsUserDefaults::SettingsUserDefaults(const QString& filePath, SettingsProblemReporter report)
    : m_file(JsonSettingsFile::open(filePath))
    , m_report(std::move(report))
{
    reportProblems();
}

SettingsUserDefaults::~SettingsUserDefaults() = default;

void SettingsUserDefaults::reportProblems() const
{
    if (!m_file || !m_report)
        return;
    for (const SettingsFileError& problem : m_file->takeProblems())
        m_report(problem);
}

QVariant SettingsUserDefaults::value(const QString& key) const
{
    return m_file ? m_file->value(key) : m_native->value(key);
}

bool SettingsUserDefaults::contains(const QString& key) const
{
    return m_file ? m_file->contains(key) : m_native->contains(key);
}

void SettingsUserDefaults::setValue(const QString& key, const QVariant& value)
{
    if (!m_file) {
        m_native->setValue(key, value);
        m_native->sync();
        return;
    }
    m_file->setValue(key, value);
    reportProblems();
}

void SettingsUserDefaults::remove(const QString& key)
{
    if (!m_file) {
        m_native->remove(key);
        m_native->sync();
        return;
    }
    m_file->remove(key);
    reportProblems();
}

QString SettingsUserDefaults::fileName() const
{
    return m_file ? m_file->path() : m_native->fileName();
}
