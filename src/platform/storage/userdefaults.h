#pragma once

#include "platform/storage/jsonsettingsfile.h"

#include <QHash>
#include <QString>
#include <QVariant>

#include <QCoroTask>

#include <functional>
#include <memory>
#include <optional>

class QSettings;
class QThreadPool;

// The user-defaults store: small preferences and state that keep their types across runs.
// Lives on the GUI thread.
class UserDefaults
{
public:
    virtual ~UserDefaults() = default;

    // An invalid QVariant when the key is absent.
    virtual QVariant value(const QString& key) const = 0;
    virtual bool contains(const QString& key) const = 0;
    virtual void setValue(const QString& key, const QVariant& value) = 0;
    virtual void remove(const QString& key) = 0;
    // Stores the value as setValue does, except that a store on disk writes it off the calling thread; the task
    // ends once it is written. value() gives the new value at once, and the writes of both calls reach the store
    // in the order they were asked for.
    virtual QCoro::Task<> persistValue(const QString& key, const QVariant& value);

    // The value only when it was stored as a Boolean.
    std::optional<bool> boolValue(const QString& key) const;
    // The value only when it was stored as text.
    std::optional<QString> stringValue(const QString& key) const;
};

// Hands a problem with the settings file on to error reporting, on the thread that met it.
using SettingsProblemReporter = std::function<void(const SettingsFileError&)>;

// The persistent store: on Linux a JSON file under the XDG configuration folder (JsonSettingsFile), on macOS the
// native defaults. Every setValue and remove reaches the disk before the call returns; persistValue writes the file
// on the store's own thread. A write that cannot is kept in memory and tried again with the next one. Problems with the
// file go to `report`, each once; without a reporter they wait for a store on the same file that has one.
class SettingsUserDefaults final : public UserDefaults
{
public:
    explicit SettingsUserDefaults(SettingsProblemReporter report = {});
    // A store backed by the JSON file at `filePath` (Linux format on every platform).
    explicit SettingsUserDefaults(const QString& filePath, SettingsProblemReporter report = {});
    ~SettingsUserDefaults() override;

    QVariant value(const QString& key) const override;
    bool contains(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    QCoro::Task<> persistValue(const QString& key, const QVariant& value) override;

    QString fileName() const;

    static QString standardFilePath();

private:
    void reportProblems() const;
    static QCoro::Task<> writeInBackground(std::shared_ptr<JsonSettingsFile> file, std::shared_ptr<QThreadPool> writer,
                                           SettingsProblemReporter report);

    // One of the two: the platform's own defaults, or the JSON file.
    std::unique_ptr<QSettings> m_native;
    std::shared_ptr<JsonSettingsFile> m_file;
    SettingsProblemReporter m_report;
    // Writes the file off the calling thread, one write at a time.
    std::shared_ptr<QThreadPool> m_writer;
};

// Keeps values in memory only.
class MemoryUserDefaults final : public UserDefaults
{
public:
    QVariant value(const QString& key) const override { return m_values.value(key); }
    bool contains(const QString& key) const override { return m_values.contains(key); }
    void setValue(const QString& key, const QVariant& value) override { m_values.insert(key, value); }
    void remove(const QString& key) override { m_values.remove(key); }

private:
    QHash<QString, QVariant> m_values;
};
