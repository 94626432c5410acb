#pragma once

#include "base/apperror.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QVariant>
#include <QVariantMap>

#include <memory>
#include <optional>
#include <sys/types.h>

// A settings file that could not be used.
class SettingsFileError final : public AppError
{
public:
    enum class Kind
    {
        // It held something that is no settings file; it was set aside and the app goes on from defaults.
        Unreadable,
        // A change could not be written; it stays in memory and goes with the next write that succeeds.
        WriteFailed
    };

    SettingsFileError(Kind kind, int code)
        : m_kind(kind)
        , m_code(code)
    {}

    Kind kind() const { return m_kind; }
    // The errno behind it, 0 when there is none.
    int code() const { return m_code; }

    QString description() const override;
    QString typeName() const override { return QStringLiteral("SettingsFileError"); }

private:
    Kind m_kind;
    int m_code;
};

// The JSON settings file at one path, shared by every store on that path in this process so that each sees the
// others' values. Private to the user: its folder is created 0700 and the file is written 0600, by replacing it
// whole. A file that cannot be read is moved aside under a name of its own (never over an earlier one) before
// anything is written there. Any thread.
class JsonSettingsFile
{
public:
    static std::shared_ptr<JsonSettingsFile> open(const QString& path);

    explicit JsonSettingsFile(QString path);
    JsonSettingsFile(const JsonSettingsFile&) = delete;
    JsonSettingsFile& operator=(const JsonSettingsFile&) = delete;

    QString path() const { return m_path; }
    QVariant value(const QString& key) const;
    bool contains(const QString& key) const;
    // The change holds in memory at once and is written with every change not yet on disk.
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    // The change holds in memory at once; it reaches the disk with the next write (flush, or another change).
    void stage(const QString& key, const QVariant& value);
    // Writes the changes not yet on disk. Readers wait only while the values are encoded, not for the disk.
    void flush();

    // Problems met and not yet handed out, each handed out once: one per unreadable file set aside, and one per
    // run of failed writes.
    QList<SettingsFileError> takeProblems();

    // Where a file at `path` that cannot be read goes: "<path>.unreadable-<UTC time>", with "-2", "-3", ...
    // after it when that name is taken.
    static QString asideName(const QString& path, const QString& time, int attempt);

private:
    struct Stamp
    {
        bool exists = false;
        dev_t device = 0;
        ino_t inode = 0;
        off_t size = 0;
        qint64 modifiedNs = 0;

        friend bool operator==(const Stamp&, const Stamp&) = default;
    };

    void change(const QString& key, std::optional<QVariant> value);
    void apply(const QString& key, std::optional<QVariant> value);
    void load();
    // Writes the values when changes are pending and records a failure. Holds m_writing; takes m_mutex only
    // around the values, not around the disk.
    void writePending();
    // The write itself; on failure `error` holds the errno when one is known.
    bool write(int* error);
    Stamp currentStamp() const;
    void setAside(int readError);

    const QString m_path;
    // One write at a time, in the order the changes were made.
    QMutex m_writing;
    // The values and the state below; never held while the disk is written.
    mutable QMutex m_mutex;
    QVariantMap m_values;
    // Changes not on disk yet; an absent value is a removal.
    QHash<QString, std::optional<QVariant>> m_pending;
    // The file as last read or written: another process's write shows as a different stamp.
    Stamp m_stamp;
    // An unreadable file is still in place: nothing may be written over it.
    bool m_blocked = false;
    bool m_writeFailing = false;
    QList<SettingsFileError> m_problems;
};
