#include "platform/storage/jsonsettingsfile.h"

#include "platform/platformlog.h"
#include "platform/storage/jsonsettingsformat.h"
#include "platform/storage/privatefolder.h"
#include "platform/system/filedescriptor.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

// Far beyond any settings file this app writes; anything larger is not one of ours.
constexpr qint64 readLimit = 16 * 1024 * 1024;
// Names tried when setting an unreadable file aside within one second.
constexpr int asideAttempts = 1000;

QByteArray encoded(const QString& path)
{
    return QFile::encodeName(path);
}

// The whole file behind `fd`, or the errno that stopped the read (EFBIG past the limit).
std::optional<QByteArray> readAll(int fd, int* error)
{
    QByteArray data;
    char buffer[16384];
    for (;;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0) {
            *error = errno;
            return std::nullopt;
        }
        if (n == 0)
            return data;
        if (data.size() + n > readLimit) {
            *error = EFBIG;
            return std::nullopt;
        }
        data.append(buffer, n);
    }
}

} // namespace

QString SettingsFileError::description() const
{
    const QString reason = m_code != 0 ? u": "_s + QString::fromLocal8Bit(std::strerror(m_code)) : QString();
    switch (m_kind) {
    case Kind::Unreadable:
        return u"The settings file could not be read and was kept aside; the defaults are used"_s + reason;
    case Kind::WriteFailed:
        return u"The settings could not be saved"_s + reason;
    }
    Q_UNREACHABLE();
    return {};
}

std::shared_ptr<JsonSettingsFile> JsonSettingsFile::open(const QString& path)
{
    static QMutex registryMutex;
    static QHash<QString, std::weak_ptr<JsonSettingsFile>> registry;
    const QString key = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    const QMutexLocker lock(&registryMutex);
    if (std::shared_ptr<JsonSettingsFile> file = registry.value(key).lock())
        return file;
    auto file = std::make_shared<JsonSettingsFile>(key);
    registry.insert(key, file);
    return file;
}

JsonSettingsFile::JsonSettingsFile(QString path)
    : m_path(std::move(path))
{
    const QMutexLocker lock(&m_mutex);
    load();
}

QString JsonSettingsFile::asideName(const QString& path, const QString& time, int attempt)
{
    const QString name = path + u".unreadable-"_s + time;
    return attempt <= 1 ? name : name + u'-' + QString::number(attempt);
}

QVariant JsonSettingsFile::value(const QString& key) const
{
    const QMutexLocker lock(&m_mutex);
    return m_values.value(key);
}

bool JsonSettingsFile::contains(const QString& key) const
{
    const QMutexLocker lock(&m_mutex);
    return m_values.contains(key);
}

void JsonSettingsFile::setValue(const QString& key, const QVariant& value)
{
    change(key, value);
}

void JsonSettingsFile::remove(const QString& key)
{
    change(key, std::nullopt);
}

QList<SettingsFileError> JsonSettingsFile::takeProblems()
{
    const QMutexLocker lock(&m_mutex);
    return std::exchange(m_problems, {});
}

void JsonSettingsFile::stage(const QString& key, const QVariant& value)
{
    const QMutexLocker lock(&m_mutex);
    apply(key, value);
}

void JsonSettingsFile::flush()
{
    const QMutexLocker writing(&m_writing);
    writePending();
}

void JsonSettingsFile::change(const QString& key, std::optional<QVariant> value)
{
    const QMutexLocker writing(&m_writing);
    {
        const QMutexLocker lock(&m_mutex);
        apply(key, std::move(value));
    }
    writePending();
}

void JsonSettingsFile::apply(const QString& key, std::optional<QVariant> value)
{
    if (value)
        m_values.insert(key, *value);
    else
        m_values.remove(key);
    m_pending.insert(key, std::move(value));
}

void JsonSettingsFile::writePending()
{
    int error = 0;
    const bool written = write(&error);
    const QMutexLocker lock(&m_mutex);
    if (written) {
        m_writeFailing = false;
        return;
    }
    // One report per run of failures; the changes wait for the next write that succeeds.
    if (!m_writeFailing)
        m_problems.append(SettingsFileError(SettingsFileError::Kind::WriteFailed, error));
    m_writeFailing = true;
}

JsonSettingsFile::Stamp JsonSettingsFile::currentStamp() const
{
    struct stat info
    {
    };
    if (::stat(encoded(m_path).constData(), &info) != 0)
        return {};
    return {true, info.st_dev, info.st_ino, info.st_size,
            qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

void JsonSettingsFile::load()
{
    m_values.clear();
    m_blocked = false;
    m_stamp = {};
    struct stat info
    {
    };
    if (::stat(encoded(m_path).constData(), &info) != 0)
        return;
    // A folder in its place holds nothing and takes no write; that is reported when a write fails.
    if (S_ISDIR(info.st_mode)) {
        m_stamp = currentStamp();
        return;
    }
    if (!S_ISREG(info.st_mode)) {
        setAside(0);
        return;
    }
    // Without blocking: a named pipe swapped in since the look above must not hang the caller.
    const FileDescriptor file(::open(encoded(m_path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    if (!file.isValid()) {
        setAside(errno);
        return;
    }
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode)) {
        setAside(0);
        return;
    }
    int error = 0;
    const std::optional<QByteArray> bytes = readAll(file.get(), &error);
    if (!bytes) {
        setAside(error);
        return;
    }
    const std::optional<QVariantMap> values = decodeSettings(*bytes);
    if (!values) {
        setAside(0);
        return;
    }
    m_values = *values;
    m_stamp = {true, info.st_dev, info.st_ino, info.st_size,
               qint64(info.st_mtim.tv_sec) * 1000000000 + info.st_mtim.tv_nsec};
}

void JsonSettingsFile::setAside(int readError)
{
    const QByteArray path = encoded(m_path);
    const QString time = QDateTime::currentDateTimeUtc().toString(u"yyyyMMdd'T'HHmmss'Z'"_s);
    bool moved = false;
    for (int attempt = 1; attempt <= asideAttempts && !moved; ++attempt) {
        const QByteArray aside = encoded(asideName(m_path, time, attempt));
        // A second name for the file first: it never replaces an earlier one, and the file is never without one.
        if (::link(path.constData(), aside.constData()) == 0) {
            ::unlink(path.constData());
            moved = true;
            break;
        }
        if (errno == EEXIST)
            continue;
        // A file system without hard links: a plain rename, onto a name seen free.
        struct stat taken
        {
        };
        if (::lstat(aside.constData(), &taken) == 0)
            continue;
        moved = errno == ENOENT && ::rename(path.constData(), aside.constData()) == 0;
        break;
    }
    qCDebug(lcStorage) << "the settings file" << m_path << "could not be read"
                       << (readError != 0 ? qt_error_string(readError) : u"(no regular file or no settings)"_s)
                       << (moved ? "and was kept aside" : "and could not be moved aside: it takes no write");
    m_problems.append(SettingsFileError(SettingsFileError::Kind::Unreadable, readError));
    m_blocked = !moved;
    m_stamp = currentStamp();
}

bool JsonSettingsFile::write(int* error)
{
    QByteArray bytes;
    QHash<QString, std::optional<QVariant>> carried;
    bool existed = false;
    {
        const QMutexLocker lock(&m_mutex);
        if (m_pending.isEmpty())
            return true;
        // Another process wrote the file since: its values first, then the changes made here. Should it have left
        // something unreadable there (set aside now), what this process knows is written instead.
        if (currentStamp() != m_stamp) {
            const QVariantMap known = m_values;
            const qsizetype problems = m_problems.size();
            load();
            if (m_problems.size() != problems)
                m_values = known;
            for (auto it = m_pending.cbegin(); it != m_pending.cend(); ++it) {
                if (it.value())
                    m_values.insert(it.key(), *it.value());
                else
                    m_values.remove(it.key());
            }
        }
        if (m_blocked)
            return false;
        bytes = encodeSettings(m_values);
        carried = m_pending;
        existed = m_stamp.exists;
    }
    try {
        PrivateFolder::makeDirectories(QFileInfo(m_path).path());
    } catch (const SystemError& failure) {
        *error = failure.code();
        return false;
    }
    // A file made read-only keeps its content.
    if (existed && ::access(encoded(m_path).constData(), W_OK) != 0) {
        *error = errno;
        return false;
    }

    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    // Owner-only before a byte is written, whatever the umask and the mode of the file it replaces.
    const bool written = file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner) &&
                         file.write(bytes) == bytes.size() && file.commit();
    if (!written) {
        file.cancelWriting();
        return false;
    }
    const QMutexLocker lock(&m_mutex);
    // A change made while the file was written stays pending for the next write.
    for (auto it = carried.cbegin(); it != carried.cend(); ++it) {
        if (const auto now = m_pending.constFind(it.key()); now != m_pending.cend() && *now == it.value())
            m_pending.erase(now);
    }
    m_stamp = currentStamp();
    return true;
}
