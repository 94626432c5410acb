#pragma once

#include "base/apperror.h"
#include "platform/system/filedescriptor.h"

#include <QString>

// Something other than a regular file where one was expected: a named pipe, a device, a socket, a folder.
class NotRegularFileError final : public AppError
{
public:
    explicit NotRegularFileError(QString path)
        : m_path(std::move(path))
    {}

    QString path() const { return m_path; }

    QString description() const override;
    QString typeName() const override { return QStringLiteral("NotRegularFileError"); }

private:
    QString m_path;
};

namespace RegularFile {

// Opens `path` with `access` (O_RDONLY, O_RDWR...) only when it is a regular file, never through a link at its
// last component, and never blocking on the way: a named pipe or a device there fails at once
// (NotRegularFileError) instead of waiting for a writer or reading forever. Throws SystemError for the rest
// (ELOOP for a link). The descriptor is close-on-exec and blocking again.
FileDescriptor open(const QString& path, int access);

} // namespace RegularFile
