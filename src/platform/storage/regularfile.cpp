#include "platform/storage/regularfile.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>

using namespace Qt::StringLiterals;

QString NotRegularFileError::description() const
{
    return u"%1 is not a regular file"_s.arg(m_path);
}

namespace RegularFile {

FileDescriptor open(const QString& path, int access)
{
    FileDescriptor file(
        ::open(QFile::encodeName(path).constData(), access | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (!file.isValid())
        throw SystemError(errno, path);
    struct stat info
    {
    };
    if (::fstat(file.get(), &info) != 0)
        throw SystemError(errno, path);
    if (!S_ISREG(info.st_mode))
        throw NotRegularFileError(path);
    const int flags = ::fcntl(file.get(), F_GETFL);
    if (flags < 0 || ::fcntl(file.get(), F_SETFL, flags & ~O_NONBLOCK) != 0)
        throw SystemError(errno, path);
    return file;
}

} // namespace RegularFile
