#include "control/serverlogservice.h"

#include "base/apperror.h"
#include "base/asyncwork.h"
#include "control/controllog.h"
#include "discovery/charactercut.h"
#include "discovery/hiddencharacters.h"
#include "platform/launching/logfolder.h"
#include "platform/storage/privatefolder.h"
#include "platform/storage/regularfile.h"
#include "platform/system/clock.h"
#include "platform/system/filedescriptor.h"
#include "telemetry/redaction.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr qint64 weekSeconds = 604800;
constexpr qint64 daySeconds = 86400;
constexpr qsizetype keptOldLogs = 20;

const QString noOutputYet = u"No output yet"_s;

// Reads of different logs run side by side: one that hangs (a stuck file system) keeps one thread, not the rest.
constexpr int readerThreads = 4;

QString cleanPathOf(const QUrl& url)
{
    return url.isLocalFile() ? QDir::cleanPath(url.toLocalFile()) : QString();
}

// The folders of `root` that are the app's own: those below the platform's folder for private logs, else the
// last one alone.
PrivateFolderLocation locationOf(const QString& root)
{
    const QString clean = QDir::cleanPath(root);
    const PrivateFolderLocation platform = privateLogFolderLocation();
    if (clean.startsWith(platform.base + u'/'))
        return {platform.base, clean.mid(platform.base.size() + 1).split(u'/', Qt::SkipEmptyParts)};
    const QFileInfo info(clean);
    return {info.path(), {info.fileName()}};
}

// Plain code-point order, independent of the locale.
bool codePointLess(const QString& a, const QString& b)
{
    const QList<uint> left = a.toUcs4();
    const QList<uint> right = b.toUcs4();
    return std::lexicographical_compare(left.cbegin(), left.cend(), right.cbegin(), right.cend());
}

struct RetentionCandidate
{
    QString path;
    QString name;
    QDateTime modifiedAt;
};

// Removal is best effort: a file that will not go must not stop every later launch.
void removeLog(int folder, const RetentionCandidate& candidate)
{
    if (::unlinkat(folder, QFile::encodeName(candidate.name).constData(), 0) != 0 && errno != ENOENT)
        qCWarning(lcLogs) << "could not remove an old log" << candidate.path << errno;
}

QString removeControlCharacters(const QString& text)
{
    QString result;
    result.reserve(text.size());
    const QList<uint> codePoints = text.toUcs4();
    for (const uint c : codePoints) {
        if (c == u'\t' || c == u'\n') {
            result.append(QChar(char16_t(c)));
            continue;
        }
        // Format characters and the unassigned ones drawn as nothing (the rest of the tag block) hide text.
        if (QChar::category(char32_t(c)) == QChar::Other_Control || isHiddenCharacter(char32_t(c)))
            continue;
        result.append(QStringView(QChar::fromUcs4(char32_t(c))));
    }
    return result;
}

} // namespace

ServerLogService::ServerLogService(QString rootDirectory, const Clock& now, qint64 tailByteLimit)
    : m_rootDirectory(std::move(rootDirectory))
    , m_location(locationOf(m_rootDirectory))
    , m_tailByteLimit(tailByteLimit)
    , m_now(now)
{
    m_executor.setMaxThreadCount(1);
    m_readers.setMaxThreadCount(readerThreads);
}

ServerLogService::~ServerLogService() = default;

QString ServerLogService::defaultRootDirectory()
{
    static const QString root = privateLogFolder();
    return root;
}

QString ServerLogService::fileName(const QUuid& id)
{
    return id.toString(QUuid::WithoutBraces).toUpper() + u".log"_s;
}

QCoro::Task<ServerLogSession> ServerLogService::startSession(const QString& projectPath)
{
    return startSessionTask(projectPath);
}

QCoro::Task<> ServerLogService::discardSession(const ServerLogSession& session)
{
    return discardSessionTask(session);
}

QCoro::Task<ServerLogSnapshot> ServerLogService::snapshot(const ServerLogSession& session)
{
    return snapshotTask(session);
}

QCoro::Task<ServerLogSession> ServerLogService::startSessionTask(QString projectPath)
{
    auto work = [this, projectPath] {
        return startSessionNow(projectPath);
    };
    auto task = AsyncWork::runOn(&m_executor, std::move(work));
    co_return co_await task;
}

QCoro::Task<> ServerLogService::discardSessionTask(ServerLogSession session)
{
    auto work = [this, session] {
        discardSessionNow(session);
    };
    auto task = AsyncWork::runOn(&m_executor, std::move(work));
    co_await task;
}

QCoro::Task<ServerLogSnapshot> ServerLogService::snapshotTask(ServerLogSession session)
{
    const QString path = session.fileURL.toLocalFile();
    const qint64 limit = m_tailByteLimit;
    auto work = [path, limit] {
        return readSnapshot(path, limit);
    };
    // Beside the sessions' own executor: a read reads one file and touches no state of the service, and no read
    // may hold up the start of a launch.
    auto task = AsyncWork::runOn(&m_readers, std::move(work));
    co_return co_await task;
}

ServerLogSession ServerLogService::startSessionNow(const QString& projectPath)
{
    const FileDescriptor folder = prepareDirectory();
    pruneOldLogs(folder.get());

    const QUuid id = QUuid::createUuid();
    const QString path = QDir::cleanPath(m_rootDirectory + u'/' + fileName(id));
    const QDateTime startedAt = m_now.now();

    // Created here and now, owner-only from the start, and never through a link.
    FileDescriptor file(::openat(folder.get(), QFile::encodeName(fileName(id)).constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!file.isValid())
        throw SystemError(errno, path);
    if (::fchmod(file.get(), 0600) != 0)
        throw SystemError(errno, path);
    file.reset();

    m_activeSessionPathByProjectPath.insert(projectPath, path);
    return ServerLogSession{id, projectPath, QUrl::fromLocalFile(path), startedAt};
}

FileDescriptor ServerLogService::prepareDirectory() const
{
    FileDescriptor folder = PrivateFolder::open(m_location.base, m_location.components, true);
    if (::fchmod(folder.get(), 0700) != 0)
        throw SystemError(errno, m_rootDirectory);
    return folder;
}

void ServerLogService::pruneOldLogs(int folder) const
{
    const QString root = QDir::cleanPath(m_rootDirectory);
    // The listing gets a descriptor of its own on the same folder.
    const int listed = ::fcntl(folder, F_DUPFD_CLOEXEC, 0);
    DIR* listing = listed >= 0 ? ::fdopendir(listed) : nullptr;
    if (!listing) {
        qCWarning(lcLogs) << "could not list the log folder" << errno;
        if (listed >= 0)
            ::close(listed);
        return;
    }
    QStringList names;
    while (const dirent* entry = ::readdir(listing)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (!name.startsWith(u'.'))
            names.append(name);
    }
    ::closedir(listing);

    QSet<QString> active;
    for (const QString& path : m_activeSessionPathByProjectPath)
        active.insert(path);

    QList<RetentionCandidate> candidates;
    for (const QString& name : std::as_const(names)) {
        if (!name.endsWith(u".log"_s) || name.size() <= 4)
            continue;
        const QString path = root + u'/' + name;
        if (active.contains(path))
            continue;
        // Entries as they are: a link is not a log file, whatever it points at.
        struct stat info
        {
        };
        if (::fstatat(folder, QFile::encodeName(name).constData(), &info, AT_SYMLINK_NOFOLLOW) != 0) {
            qCWarning(lcLogs) << "could not read an old log's details" << path << errno;
            continue;
        }
        if (!S_ISREG(info.st_mode))
            continue;
        const qint64 msecs = qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000;
        candidates.append({path, name, QDateTime::fromMSecsSinceEpoch(msecs, Qt::UTC)});
    }

    const QDateTime now = m_now.now();
    const QDateTime weekCutoff = now.addSecs(-weekSeconds);
    const QDateTime dayCutoff = now.addSecs(-daySeconds);

    QList<RetentionCandidate> old;
    for (const RetentionCandidate& candidate : std::as_const(candidates)) {
        if (candidate.modifiedAt <= weekCutoff)
            removeLog(folder, candidate);
        else if (candidate.modifiedAt <= dayCutoff)
            old.append(candidate);
    }
    std::stable_sort(old.begin(), old.end(), [](const RetentionCandidate& a, const RetentionCandidate& b) {
        if (a.modifiedAt != b.modifiedAt)
            return a.modifiedAt > b.modifiedAt;
        return codePointLess(a.name, b.name);
    });
    for (qsizetype i = keptOldLogs; i < old.size(); ++i)
        removeLog(folder, old.at(i));
}

void ServerLogService::discardSessionNow(const ServerLogSession& session)
{
    const QString path = cleanPathOf(session.fileURL);
    const auto active = m_activeSessionPathByProjectPath.constFind(session.projectPath);
    if (active != m_activeSessionPathByProjectPath.cend() && *active == path)
        m_activeSessionPathByProjectPath.erase(active);

    // Only a log file of this folder is ever deleted, whatever the session names.
    const QFileInfo info(path);
    const QString name = info.fileName();
    if (path.isEmpty() || info.path() != QDir::cleanPath(m_rootDirectory) || !name.endsWith(u".log"_s) ||
        name.startsWith(u'.'))
        return;
    FileDescriptor folder;
    try {
        folder = PrivateFolder::open(m_location.base, m_location.components, false);
    } catch (const SystemError& error) {
        // No folder, no file to delete.
        if (error.code() == ENOENT)
            return;
        throw;
    }
    if (::unlinkat(folder.get(), QFile::encodeName(name).constData(), 0) != 0 && errno != ENOENT)
        throw SystemError(errno, path);
}

ServerLogSnapshot ServerLogService::readSnapshot(const QString& filePath, qint64 tailByteLimit)
{
    FileDescriptor file = RegularFile::open(filePath, O_RDONLY);
    const off_t size = ::lseek(file.get(), 0, SEEK_END);
    if (size < 0)
        throw SystemError(errno, filePath);
    const bool truncated = size > tailByteLimit;
    const off_t start = truncated ? size - tailByteLimit : 0;

    QByteArray bytes(qsizetype(std::min<qint64>(size, tailByteLimit)), Qt::Uninitialized);
    qsizetype got = 0;
    while (got < bytes.size()) {
        const ssize_t n = ::pread(file.get(), bytes.data() + got, size_t(bytes.size() - got), start + got);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw SystemError(errno, filePath);
        }
        if (n == 0)
            break;
        got += n;
    }
    bytes.truncate(got);
    file.reset();

    if (truncated) {
        // The window may start inside a character: drop its continuation bytes.
        qsizetype skip = 0;
        while (skip < bytes.size() && (quint8(bytes.at(skip)) & 0xC0) == 0x80)
            ++skip;
        bytes.remove(0, skip);
    }

    ServerLogSnapshot snapshot;
    snapshot.text = sanitizeLogText(QString::fromUtf8(bytes));
    snapshot.preview = previewLine(snapshot.text);
    snapshot.isTruncated = truncated;
    return snapshot;
}

QString ServerLogService::sanitizeLogText(const QString& text)
{
    // Operating-system commands (window titles and the like), ended by BEL or ESC backslash, then
    // control sequences (colours, cursor movement).
    static const QString operatingSystemCommand = u"\x1B\\][^\x07\x1B]*(?:\x07|\x1B\\\\)"_s;
    static const QString controlSequence = u"\x1B\\[[0-?]*[ -/]*[@-~]"_s;

    QString result = text;
    for (const QString& pattern : {operatingSystemCommand, controlSequence}) {
        const QRegularExpression expression(pattern);
        if (expression.isValid())
            result.remove(expression);
    }
    result.replace(u"\r\n"_s, u"\n"_s);
    result.replace(u'\r', u'\n');
    return removeControlCharacters(result);
}

QString ServerLogService::previewLine(const QString& cleanText)
{
    QString last;
    const QStringList pieces = cleanText.split(u'\n', Qt::SkipEmptyParts);
    for (auto it = pieces.crbegin(); it != pieces.crend(); ++it) {
        const QString trimmed = it->trimmed();
        if (!trimmed.isEmpty()) {
            last = trimmed;
            break;
        }
    }
    if (last.isEmpty())
        return noOutputYet;

    return cutToCharacters(redactTelemetryText(last), previewCharacterLimit);
}
