#include "platform/loginshell.h"

#include <QFileInfo>

#include <pwd.h>
#include <unistd.h>

#include <vector>

using namespace Qt::StringLiterals;

namespace LoginShell {

namespace {

const QString fallbackShell = u"/bin/sh"_s;

// fish reads '\' inside single quotes, so text is quoted the way it reads it.
QString fishQuoted(const QString& text)
{
    QString quoted = text;
    quoted.replace(u'\\', u"\\\\"_s);
    quoted.replace(u'\'', u"\\'"_s);
    return u'\'' + quoted + u'\'';
}

bool isUsable(const QString& path)
{
    const QFileInfo info(path);
    return info.isAbsolute() && info.isFile() && info.isExecutable();
}

} // namespace

QString userShell()
{
#if defined(Q_OS_MACOS)
    return u"/bin/zsh"_s;
#else
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(size > 0 ? std::size_t(size) : 16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found || !found->pw_shell)
        return {};
    return QString::fromLocal8Bit(found->pw_shell);
#endif
}

Invocation invocation(const QString& shellPath, const QString& command)
{
#if defined(Q_OS_MACOS)
    Q_UNUSED(shellPath);
    return {u"/bin/zsh"_s, {u"-lic"_s, command}};
#else
    if (!isUsable(shellPath))
        return {fallbackShell, {u"-l"_s, u"-c"_s, command}};
    const QString name = QFileInfo(shellPath).fileName();
    if (name == u"bash"_s)
        return {shellPath, {u"-l"_s, u"-i"_s, u"-c"_s, u"exec 2>&1; "_s + command}, true};
    if (name == u"zsh"_s || name == u"ksh"_s || name == u"mksh"_s || name == u"ksh93"_s)
        return {shellPath, {u"-l"_s, u"-i"_s, u"-c"_s, command}};
    if (name == u"sh"_s || name == u"dash"_s || name == u"ash"_s || name == u"yash"_s)
        return {shellPath, {u"-l"_s, u"-c"_s, command}};
    if (name == u"fish"_s)
        return {shellPath, {u"-l"_s, u"-i"_s, u"-c"_s, u"exec "_s + fallbackShell + u" -c "_s + fishQuoted(command)}};
    // A shell whose flags and language are not known here (tcsh, nushell and the like).
    return {fallbackShell, {u"-l"_s, u"-c"_s, command}};
#endif
}

Invocation userInvocation(const QString& command)
{
    return invocation(userShell(), command);
}

} // namespace LoginShell
