#include "platform/storage/userdefaults.h"

#include "base/asyncwork.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QThreadPool>

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

SettingsUserDefaults::~SettingsUserDefaults()
{
    // A write still under way ends before the store goes.
    if (m_writer)
        m_writer->waitForDone();
}

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

QCoro::Task<> SettingsUserDefaults::persistValue(const QString& key, const QVariant& value)
{
    if (!m_file) {
        setValue(key, value);
        return AsyncWork::done();
    }
    // In memory at once, for every store on the file; on disk from the writer's thread.
    m_file->stage(key, value);
    if (!m_writer) {
        m_writer = std::make_shared<QThreadPool>();
        m_writer->setMaxThreadCount(1);
    }
    return writeInBackground(m_file, m_writer, m_report);
}

QCoro::Task<> SettingsUserDefaults::writeInBackground(std::shared_ptr<JsonSettingsFile> file,
                                                      std::shared_ptr<QThreadPool> writer,
                                                      SettingsProblemReporter report)
{
    auto write = AsyncWork::runOn(writer.get(), [file] { file->flush(); });
    co_await write;
    if (report) {
        for (const SettingsFileError& problem : file->takeProblems())
            report(problem);
    }
}
