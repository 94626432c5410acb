#include "platform/storage/privatefolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

QString UnsafeFolderError::description() const
{
    switch (m_kind) {
    case Kind::Link:
        return u"The private folder %1 is a symbolic link"_s.arg(m_path);
    case Kind::NotOwned:
        return u"The private folder %1 belongs to another user"_s.arg(m_path);
    }
    Q_UNREACHABLE();
    return {};
}

namespace PrivateFolder {

void makeDirectories(const QString& path)
{
    const QString clean = QDir::cleanPath(path);
    QStringList missing;
    QString current = clean;
    struct stat info
    {
    };
    while (!current.isEmpty() && ::stat(QFile::encodeName(current).constData(), &info) != 0) {
        if (errno != ENOENT)
            throw SystemError(errno, current);
        missing.prepend(current);
        const QString parent = QFileInfo(current).path();
        if (parent == current)
            break;
        current = parent;
    }
    for (const QString& folder : std::as_const(missing)) {
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0 && errno != EEXIST)
            throw SystemError(errno, folder);
    }
    if (::stat(QFile::encodeName(clean).constData(), &info) != 0)
        throw SystemError(errno, clean);
    if (!S_ISDIR(info.st_mode))
        throw SystemError(ENOTDIR, clean);
}

FileDescriptor open(const QString& base, const QStringList& components, bool create)
{
    const QString cleanBase = QDir::cleanPath(base);
    if (create)
        makeDirectories(cleanBase);
    FileDescriptor folder(::open(QFile::encodeName(cleanBase).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!folder.isValid())
        throw SystemError(errno, cleanBase);

    QString path = cleanBase;
    for (const QString& component : components) {
        path += u'/' + component;
        const QByteArray name = QFile::encodeName(component);
        if (create && ::mkdirat(folder.get(), name.constData(), 0700) != 0 && errno != EEXIST)
            throw SystemError(errno, path);
        // Looked at before it is opened, so that a link is named as one whatever it points at.
        struct stat entry
        {
        };
        if (::fstatat(folder.get(), name.constData(), &entry, AT_SYMLINK_NOFOLLOW) != 0)
            throw SystemError(errno, path);
        if (S_ISLNK(entry.st_mode))
            throw UnsafeFolderError(UnsafeFolderError::Kind::Link, path);
        FileDescriptor next(::openat(folder.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (!next.isValid()) {
            const int error = errno;
            // Swapped for a link since it was looked at.
            if (error == ELOOP)
                throw UnsafeFolderError(UnsafeFolderError::Kind::Link, path);
            throw SystemError(error, path);
        }
        struct stat opened
        {
        };
        if (::fstat(next.get(), &opened) != 0)
            throw SystemError(errno, path);
        if (opened.st_uid != ::geteuid())
            throw UnsafeFolderError(UnsafeFolderError::Kind::NotOwned, path);
        folder = std::move(next);
    }
    return folder;
}

} // namespace PrivateFolder
