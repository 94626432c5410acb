#pragma once

#include <QHash>
#include <QString>
#include <QVariant>

#include <QCoroTask>

#include <functional>

#include <memory>
#include <optional>

class QSettings;

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

// The persistent store: on Linux a JSON file under the XDG configuration folder, on macOS the native
// defaults. A setValue or remove reaches the disk before the call returns (after the background writes asked for
// before it); persistValue writes on the store's own thread.
class SettingsUserDefaults final : public UserDefaults
{
public:
    SettingsUserDefaults();
    // A store backed by the JSON file at `filePath` (Linux format on every platform).
    explicit SettingsUserDefaults(const QString& filePath);
    ~SettingsUserDefaults() override;

    QVariant value(const QString& key) const override;
    bool contains(const QString& key) const override;
    void setValue(const QString& key, const QVariant& value) override;
    void remove(const QString& key) override;
    QCoro::Task<> persistValue(const QString& key, const QVariant& value) override;

    QString fileName() const;

    static QString standardFilePath();

private:
    struct Writer;
    explicit SettingsUserDefaults(std::function<std::unique_ptr<QSettings>()> open);
    // Waits for the background writes, so a write on this thread comes after them.
    void finishBackgroundWrites();
    static QCoro::Task<> writeInBackground(std::shared_ptr<Writer> writer, QString key, QVariant value, quint64 write);

    std::unique_ptr<QSettings> m_settings;
    std::shared_ptr<Writer> m_writer;
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
