#include "serverlogdetailmodel.h"

#include "control/sleeper.h"
#include "displaytext.h"
#include "logsnapshotreading.h"
#include "platform/desktop/clipboard.h"
#include "platform/desktop/workspace.h"
#include "uilog.h"

#include <QTimer>

#include <algorithm>
#include <exception>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

// The window's chrome above and below the page (header, footer, rules) and the smallest and largest page.
constexpr qreal windowChrome = 110 + 80;
constexpr qreal smallestPage = 300;
constexpr qreal largestPage = 520;

ServerLogSnapshot initialSnapshot()
{
    return ServerLogSnapshot{QString(), u"No output yet"_s, false};
}

} // namespace

ServerLogDetailModel::ServerLogDetailModel(QObject* parent)
    : QObject(parent)
    , m_snapshot(initialSnapshot())
{}

ServerLogDetailModel::ServerLogDetailModel(const LogSelection& selection, WindowContext& context,
                                           std::shared_ptr<LogSnapshotReading> reader, std::shared_ptr<Sleeper> sleeper,
                                           QObject* parent)
    : QObject(parent)
    , m_selection(selection)
    , m_reader(std::move(reader))
    , m_sleeper(std::move(sleeper))
    , m_snapshot(initialSnapshot())
{
    setContext(&context);
}

ServerLogDetailModel::~ServerLogDetailModel()
{
    // Tasks still waiting see the page gone through their QPointer; this only makes the end explicit.
    ++m_pollGeneration;
}

QVariant ServerLogDetailModel::selection() const
{
    return QVariant::fromValue(m_selection);
}

void ServerLogDetailModel::setSelection(const QVariant& selection)
{
    // The page shows what it was built with; the window may clear its selection while the page leaves.
    if (m_started || selection.metaType() != QMetaType::fromType<LogSelection>())
        return;
    const LogSelection value = selection.value<LogSelection>();
    if (value == m_selection)
        return;
    m_selection = value;
    Q_EMIT selectionChanged();
}

void ServerLogDetailModel::setStore(ServerStore* store)
{
    if (m_store == store)
        return;
    m_store = store;
    Q_EMIT storeChanged();
}

void ServerLogDetailModel::setContext(WindowContext* context)
{
    if (m_context == context)
        return;
    const qreal before = pageHeight();
    disconnect(m_heightConnection);
    m_context = context;
    if (context) {
        m_heightConnection =
            connect(context, &WindowContext::availableHeightChanged, this, [this] { Q_EMIT pageHeightChanged(); });
    }
    Q_EMIT contextChanged();
    if (!qFuzzyCompare(before, pageHeight()))
        Q_EMIT pageHeightChanged();
}

QString ServerLogDetailModel::displayTitle() const
{
    return displaySafeText(m_selection.displayTitle);
}

void ServerLogDetailModel::setOnScreen(bool onScreen)
{
    if (onScreen == m_onScreen)
        return;
    m_onScreen = onScreen;
    Q_EMIT onScreenChanged();
    // Off screen the running task ends at its next step; back on screen a new one reads at once.
    if (onScreen)
        restartPolling();
    else
        ++m_pollGeneration;
}

QString ServerLogDetailModel::portText() const
{
    return m_selection.port ? QString::number(*m_selection.port) : QString();
}

ServerLogDetailModel::FollowFace ServerLogDetailModel::followFace() const
{
    if (m_unavailable)
        return FollowFace::Unavailable;
    return m_isFollowing ? FollowFace::Following : FollowFace::Paused;
}

QString ServerLogDetailModel::statusLabel() const
{
    switch (followFace()) {
    case FollowFace::Unavailable:
        return u"Unavailable"_s;
    case FollowFace::Following:
        return u"Following"_s;
    case FollowFace::Paused:
        break;
    }
    return u"Paused"_s;
}

QString ServerLogDetailModel::followHelpText() const
{
    switch (followFace()) {
    case FollowFace::Unavailable:
        return u"Log file unavailable"_s;
    case FollowFace::Following:
        return u"Pause live log updates"_s;
    case FollowFace::Paused:
        break;
    }
    return u"Resume live log updates"_s;
}

qreal ServerLogDetailModel::pageHeight() const
{
    return pageHeightFor(m_context ? m_context->availableHeight() : WindowContext::defaultAvailableHeight);
}

QString ServerLogDetailModel::bottomID() const
{
    return u"server-log-bottom"_s;
}

qreal ServerLogDetailModel::pageHeightFor(qreal availableHeight)
{
    return std::min(std::max(availableHeight - windowChrome, smallestPage), largestPage);
}

void ServerLogDetailModel::componentComplete()
{
    if (!m_store || !m_context) {
        qCWarning(lcLogViewer) << "the log page needs a store and a window context";
        return;
    }
    m_reader = std::make_shared<ServiceLogReader>(m_store->logService());
    m_sleeper = std::make_shared<PreciseSleeper>();
    // After the page's own completion, so its bindings see the first read arrive.
    QTimer::singleShot(0, this, &ServerLogDetailModel::start);
}

void ServerLogDetailModel::start()
{
    if (m_started || !m_reader || !m_sleeper)
        return;
    m_started = true;
    restartPolling();
}

void ServerLogDetailModel::toggleFollowing()
{
    setFollowing(!m_isFollowing);
}

void ServerLogDetailModel::copyLog()
{
    if (m_snapshot.text.isEmpty() || !m_context || !m_sleeper)
        return;
    m_context->clipboard().setPlainText(m_snapshot.text);
    setCopied(true);
    // Each copy ends the confirmation on its own; the first to finish clears it.
    auto confirmation = endCopyConfirmation(QPointer<ServerLogDetailModel>(this));
    Q_UNUSED(confirmation);
}

void ServerLogDetailModel::copyText(const QString& text)
{
    if (text.isEmpty() || !m_context)
        return;
    m_context->clipboard().setPlainText(text);
}

void ServerLogDetailModel::revealRawLog()
{
    if (!m_context)
        return;
    const QString path = m_selection.session.fileURL.toLocalFile();
    if (!m_context->workspace().revealPath(path))
        qCWarning(lcLogViewer) << "the file browser could not show" << path;
}

void ServerLogDetailModel::restartPolling()
{
    if (!m_started)
        return;
    if (!m_onScreen) {
        ++m_pollGeneration;
        return;
    }
    const quint64 generation = ++m_pollGeneration;
    auto task = pollWhileFollowing(QPointer<ServerLogDetailModel>(this), generation);
    Q_UNUSED(task);
}

QCoro::Task<> ServerLogDetailModel::pollWhileFollowing(QPointer<ServerLogDetailModel> self, quint64 generation)
{
    {
        auto first = reloadSnapshot(self, generation);
        co_await first;
    }
    if (!self || !self->isCurrent(generation) || !self->m_isFollowing)
        co_return;
    for (;;) {
        try {
            auto pause = self->m_sleeper->sleep(pollInterval);
            co_await pause;
        } catch (...) {
            co_return;
        }
        if (!self || !self->isCurrent(generation))
            co_return;
        {
            auto next = reloadSnapshot(self, generation);
            co_await next;
        }
        if (!self || !self->isCurrent(generation))
            co_return;
    }
}

QCoro::Task<> ServerLogDetailModel::reloadSnapshot(QPointer<ServerLogDetailModel> self, quint64 generation)
{
    const ServerLogSession session = self->m_selection.session;
    std::optional<ServerLogSnapshot> result;
    try {
        auto read = self->m_reader->snapshot(session);
        result.emplace(co_await read);
    } catch (...) {
        qCInfo(lcLogViewer) << "the log could not be read" << session.fileURL;
    }
    // The page may have gone while the read ran (back, Escape): nothing of it may be touched then.
    if (!self)
        co_return;
    if (!result) {
        // A failure stands even when a follow toggle replaced this task: the file is still unreadable.
        self->applyReadFailure();
        co_return;
    }
    if (self->isCurrent(generation))
        self->applySnapshot(*result);
}

QCoro::Task<> ServerLogDetailModel::endCopyConfirmation(QPointer<ServerLogDetailModel> self)
{
    try {
        auto pause = self->m_sleeper->sleep(copyConfirmation);
        co_await pause;
    } catch (...) {
        // A wait cut short still ends the confirmation.
    }
    if (self)
        self->setCopied(false);
}

void ServerLogDetailModel::applySnapshot(const ServerLogSnapshot& snapshot)
{
    setSnapshot(snapshot);
    setUnavailable(false);
}

void ServerLogDetailModel::applyReadFailure()
{
    setSnapshot(ServerLogSnapshot{QString(), u"Log unavailable"_s, false});
    setUnavailable(true);
    // Stopping the follow restarts the task, which reads once more: a file that is back clears the state.
    setFollowing(false);
}

void ServerLogDetailModel::setSnapshot(ServerLogSnapshot snapshot)
{
    if (snapshot == m_snapshot)
        return;
    const bool textChanged = snapshot.text != m_snapshot.text;
    const bool truncationChanged = snapshot.isTruncated != m_snapshot.isTruncated;
    m_snapshot = std::move(snapshot);
    if (textChanged)
        Q_EMIT this->textChanged();
    if (truncationChanged)
        Q_EMIT isTruncatedChanged();
    updateDerived();
}

void ServerLogDetailModel::setFollowing(bool following)
{
    if (following == m_isFollowing)
        return;
    m_isFollowing = following;
    Q_EMIT isFollowingChanged();
    updateDerived();
    restartPolling();
}

void ServerLogDetailModel::setUnavailable(bool unavailable)
{
    if (unavailable == m_unavailable)
        return;
    m_unavailable = unavailable;
    Q_EMIT unavailableChanged();
    updateDerived();
}

void ServerLogDetailModel::setCopied(bool copied)
{
    if (copied == m_copied)
        return;
    m_copied = copied;
    Q_EMIT copiedChanged();
}

void ServerLogDetailModel::updateDerived()
{
    const FollowFace face = followFace();
    if (face != m_shownFace) {
        m_shownFace = face;
        Q_EMIT followFaceChanged();
    }
    if (canCopy() != m_shownCanCopy) {
        m_shownCanCopy = canCopy();
        Q_EMIT canCopyChanged();
    }
}
