#pragma once

#include "base/apperror.h"
#include "platform/system/filedescriptor.h"

#include <QString>
#include <QStringList>

// A folder of ours that is not safe to use: a symbolic link, or somebody else's.
class UnsafeFolderError final : public AppError
{
public:
    enum class Kind
    {
        Link,
        NotOwned
    };

    UnsafeFolderError(Kind kind, QString path)
        : m_kind(kind)
        , m_path(std::move(path))
    {}

    Kind kind() const { return m_kind; }
    QString path() const { return m_path; }

    QString description() const override;
    QString typeName() const override { return QStringLiteral("UnsafeFolderError"); }

private:
    Kind m_kind;
    QString m_path;
};

// Folders private to the user. Blocking file work: call it off the GUI thread.
namespace PrivateFolder {

// mkdir -p where every folder made is owner-only from its first moment, whatever the umask. Throws SystemError
// (ENOTDIR when something else stands at `path`).
void makeDirectories(const QString& path);

// Opens `base`/`components`... as one folder descriptor. The base is opened as it is (it may well be a link, as a
// moved home or state folder is); each component below it is ours and is opened without following links, created
// owner-only when missing and `create` is set. Throws UnsafeFolderError when a component is a link or is not the
// user's, SystemError for everything else (ENOENT for a missing one without `create`).
FileDescriptor open(const QString& base, const QStringList& components, bool create);

} // namespace PrivateFolder
