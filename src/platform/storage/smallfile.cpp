#include "platform/storage/smallfile.h"

#include "platform/system/filedescriptor.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

std::optional<QByteArray> readSmallRegularFile(const QString& path, qint64 limit)
{
    const FileDescriptor file(
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.isValid())
        return std::nullopt;
    struct stat info
    {
    };
    if (::fstat(file.get(), &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > limit)
        return std::nullopt;
    // One byte past the limit tells a file that grew since the look.
    QByteArray data(qsizetype(limit) + 1, Qt::Uninitialized);
    qsizetype got = 0;
    while (got < data.size()) {
        const ssize_t n = ::read(file.get(), data.data() + got, size_t(data.size() - got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return std::nullopt;
        if (n == 0)
            break;
        got += n;
    }
    if (got > limit)
        return std::nullopt;
    data.truncate(got);
    return data;
}

std::optional<FileStamp> fileStamp(const QString& path)
{
    struct stat info
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &info) != 0)
        return std::nullopt;
    FileStamp stamp;
    stamp.device = quint64(info.st_dev);
    stamp.inode = quint64(info.st_ino);
#if defined(Q_OS_DARWIN)
    const timespec changed = info.st_ctimespec;
#else
    const timespec changed = info.st_ctim;
#endif
    stamp.changedSeconds = qint64(changed.tv_sec);
    stamp.changedNanoseconds = qint64(changed.tv_nsec);
    return stamp;
}
