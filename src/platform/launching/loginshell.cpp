#include "platform/launching/loginshell.h"

#include "base/apperror.h"
#include "platform/launching/childprocess.h"
#include "platform/listings/processidentity.h"
#include "platform/platformlog.h"
#include "platform/system/filedescriptor.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
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

// Far beyond any environment the kernel would pass on, with room for what start-up files print.
constexpr qsizetype outputLimit = 16 * 1024 * 1024;

// The entries between the marks, once both have come.
std::optional<QList<QByteArray>> entriesBetween(const QByteArray& output, const QByteArray& begin,
                                                const QByteArray& end)
{
    const qsizetype from = output.indexOf(begin);
    if (from < 0)
        return std::nullopt;
    const qsizetype start = from + begin.size();
    const qsizetype to = output.indexOf(end, start);
    if (to < 0)
        return std::nullopt;
    return ProcessIdentity::parseEnvironment(QByteArrayView(output).sliced(start, to - start));
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
    if (!isUsable(shellPath)) {
        qCDebug(lcLaunching) << "the login shell" << shellPath << "cannot run: using" << fallbackShell;
        return {fallbackShell, {u"-l"_s, u"-c"_s, command}};
    }
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
    qCDebug(lcLaunching) << "the login shell" << shellPath << "is not known: using" << fallbackShell;
    return {fallbackShell, {u"-l"_s, u"-c"_s, command}};
#endif
}

Invocation userInvocation(const QString& command)
{
    return invocation(userShell(), command);
}

std::optional<QList<QByteArray>> exportedEnvironment(const QString& shellPath, std::chrono::milliseconds timeout)
{
    // What start-up files print, before the command or after it (a logout file), is passed over: the entries are
    // read between two marks that no file prints by chance.
    QRandomGenerator* random = QRandomGenerator::system();
    const QByteArray nonce =
        QByteArray::number(random->generate64(), 16) + QByteArray::number(random->generate64(), 16);
    const QByteArray begin = "porthive-environment-" + nonce + "-begin";
    const QByteArray end = "porthive-environment-" + nonce + "-end";
    const QString command =
        u"printf '%s' "_s + QString::fromLatin1(begin) + u" && env -0 && printf '%s' "_s + QString::fromLatin1(end);

    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        qCDebug(lcLaunching) << "no pipe to read the login environment:" << qt_error_string(errno);
        return std::nullopt;
    }
    const FileDescriptor readEnd(ends[0]);
    FileDescriptor writeEnd(ends[1]);
    const Invocation shell = shellPath.isEmpty() ? userInvocation(command) : invocation(shellPath, command);
    ChildProcess::Options options;
    options.program = shell.program;
    options.arguments = shell.arguments;
    options.workingDirectory = QDir::homePath();
    options.outputFd = writeEnd.get();
    options.errorToNull = true;
    std::shared_ptr<ChildProcess> child;
    try {
        child = ChildProcess::start(options);
    } catch (const SystemError& error) {
        qCDebug(lcLaunching) << "the login shell could not start to read its environment:" << error.description();
        return std::nullopt;
    }
    writeEnd.reset();

    const auto deadline = std::chrono::steady_clock::now() + timeout;
    QByteArray output;
    std::optional<QList<QByteArray>> entries;
    while (!entries && output.size() < outputLimit) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now()).count();
        if (left <= 0)
            break;
        pollfd readable{readEnd.get(), POLLIN, 0};
        const int ready = ::poll(&readable, 1, int(left));
        if (ready < 0 && errno != EINTR)
            break;
        if (ready <= 0)
            continue;
        char buffer[16384];
        const ssize_t n = ::read(readEnd.get(), buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        // The end of the output: the shell has ended, with the command or before it.
        if (n <= 0)
            break;
        output.append(buffer, n);
        entries = entriesBetween(output, begin, end);
    }
    // A shell stuck in its start-up goes, with whatever it started: they run in a session of their own.
    if (!entries) {
        qCDebug(lcLaunching) << "the login shell gave no environment within" << timeout.count() << "ms, after"
                             << output.size() << "bytes";
        ::kill(-child->pid(), SIGKILL);
    }
    return entries;
}

} // namespace LoginShell
