#include "platform/userdefaults.h"

#include "platform/asyncwork.h"
#include "platform/jsonsettingsformat.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>

QCoro::Task<> UserDefaults::persistValue(const QString& key, const QVariant& value)
{
    setValue(key, value);
    return AsyncWork::done();
}

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

// The background writes: each opens the store anew on the writer's thread (QSettings objects for one store share
// its contents within the process) and syncs it there.
struct SettingsUserDefaults::Writer
{
    std::function<std::unique_ptr<QSettings>()> open;
    QThreadPool pool;
    // Values handed to the pool and not written yet, with the number of their write.
    QHash<QString, std::pair<quint64, QVariant>> unwritten;
    quint64 writes = 0;
};

SettingsUserDefaults::SettingsUserDefaults()
#if defined(Q_OS_MACOS)
    : SettingsUserDefaults(
          [] { return std::make_unique<QSettings>(QStringLiteral("com.vemo.porthive"), QStringLiteral("Porthive")); })
#else
    : SettingsUserDefaults(standardFilePath())
#endif
{}

SettingsUserDefaults::SettingsUserDefaults(const QString& filePath)
    : SettingsUserDefaults([filePath] { return std::make_unique<QSettings>(filePath, jsonSettingsFormat()); })
{}

SettingsUserDefaults::SettingsUserDefaults(std::function<std::unique_ptr<QSettings>()> open)
    : m_settings(open())
    , m_writer(std::make_shared<Writer>())
{
    m_writer->open = std::move(open);
    m_writer->pool.setMaxThreadCount(1);
}

SettingsUserDefaults::~SettingsUserDefaults()
{
    finishBackgroundWrites();
}

QVariant SettingsUserDefaults::value(const QString& key) const
{
    if (const auto pending = m_writer->unwritten.constFind(key); pending != m_writer->unwritten.cend())
        return pending->second;
    return m_settings->value(key);
}

bool SettingsUserDefaults::contains(const QString& key) const
{
    return m_writer->unwritten.contains(key) || m_settings->contains(key);
}

void SettingsUserDefaults::setValue(const QString& key, const QVariant& value)
{
    finishBackgroundWrites();
    m_writer->unwritten.remove(key);
    m_settings->setValue(key, value);
    m_settings->sync();
}

void SettingsUserDefaults::remove(const QString& key)
{
    finishBackgroundWrites();
    m_writer->unwritten.remove(key);
    m_settings->remove(key);
    m_settings->sync();
}

QCoro::Task<> SettingsUserDefaults::persistValue(const QString& key, const QVariant& value)
{
    const quint64 write = ++m_writer->writes;
    m_writer->unwritten.insert(key, {write, value});
    return writeInBackground(m_writer, key, value, write);
}

QCoro::Task<> SettingsUserDefaults::writeInBackground(std::shared_ptr<Writer> writer, QString key, QVariant value,
                                                      quint64 write)
{
    auto written = AsyncWork::runOn(&writer->pool, [open = writer->open, key, value] {
        const std::unique_ptr<QSettings> settings = open();
        settings->setValue(key, value);
        settings->sync();
    });
    co_await written;
    // A later value for the key stays until its own write ends.
    if (const auto pending = writer->unwritten.constFind(key);
        pending != writer->unwritten.cend() && pending->first == write)
        writer->unwritten.erase(pending);
}

void SettingsUserDefaults::finishBackgroundWrites()
{
    m_writer->pool.waitForDone();
}

QString SettingsUserDefaults::fileName() const
{
    return m_settings->fileName();
}
