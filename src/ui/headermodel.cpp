#include "headermodel.h"

#include "displaytext.h"
#include "platform/system/clock.h"
#include "savedbucket.h"

#include <optional>

using namespace Qt::StringLiterals;

namespace {

// "Stale — " or "Error — " and the message, which may carry outside text (a path, a tool's error output).
std::optional<QString> problemText(const RefreshState& state)
{
    switch (state.kind) {
    case RefreshState::Kind::Stale:
        return u"Stale \u2014 "_s + state.message;
    case RefreshState::Kind::Failed:
        return u"Error \u2014 "_s + state.message;
    case RefreshState::Kind::Idle:
    case RefreshState::Kind::Refreshing:
        break;
    }
    return std::nullopt;
}

} // namespace

HeaderModel::HeaderModel(QObject* parent)
    : QObject(parent)
    , m_clock(&SystemClock::shared())
{}

void HeaderModel::setStore(ServerStore* store)
{
    if (m_store == store)
        return;
    if (m_store)
        disconnect(m_store, nullptr, this, nullptr);
    m_store = store;
    if (m_store) {
        connect(m_store, &ServerStore::serversChanged, this, &HeaderModel::stateChanged);
        connect(m_store, &ServerStore::refreshStateChanged, this, &HeaderModel::stateChanged);
        connect(m_store, &ServerStore::savedProjectsChanged, this, &HeaderModel::stateChanged);
    }
    Q_EMIT storeChanged();
    Q_EMIT stateChanged();
}

void HeaderModel::setShowingSettings(bool showing)
{
    if (m_showingSettings == showing)
        return;
    m_showingSettings = showing;
    Q_EMIT showingSettingsChanged();
    Q_EMIT stateChanged();
}

void HeaderModel::setClock(const Clock& clock)
{
    m_clock = &clock;
    Q_EMIT stateChanged();
}

int HeaderModel::savedCount() const
{
    if (!m_store)
        return 0;
    return int(SavedBucket::recentProjects(m_store->savedProjects(), m_clock->now()).size());
}

QString HeaderModel::subtitle() const
{
    if (!m_store)
        return subtitle(RefreshState::idle(), 0, 0, m_showingSettings);
    return subtitle(m_store->refreshState(), m_store->servers().size(), savedCount(), m_showingSettings);
}

QString HeaderModel::statusToolTip() const
{
    return m_store ? statusToolTip(m_store->refreshState(), m_showingSettings) : QString();
}

HeaderModel::StatusColor HeaderModel::statusColor() const
{
    return m_store ? statusColor(m_store->refreshState(), !m_store->servers().isEmpty()) : StatusColor::Secondary;
}

bool HeaderModel::statusIsActive() const
{
    return m_store && statusIsActive(m_store->refreshState(), !m_store->servers().isEmpty());
}

bool HeaderModel::refreshing() const
{
    return m_store && m_store->refreshState().kind == RefreshState::Kind::Refreshing;
}

void HeaderModel::refresh()
{
    if (!m_store)
        return;
    // The task runs on by itself; the button follows the store's refreshing state, not this call.
    auto running = m_store->refresh();
    Q_UNUSED(running)
}

QString HeaderModel::subtitle(const RefreshState& state, qsizetype serverCount, qsizetype savedCount,
                              bool showingSettings)
{
    using Kind = RefreshState::Kind;
    if (showingSettings)
        return u"Settings"_s;
    if (state.kind == Kind::Refreshing && serverCount == 0)
        return u"Scanning\u2026"_s;
    if (const std::optional<QString> text = problemText(state))
        return displaySafeText(*text, subtitleLimit);
    if (serverCount == 0)
        return u"No servers"_s;
    return u"%1 live \u00b7 %2 saved"_s.arg(serverCount).arg(savedCount);
}

QString HeaderModel::statusToolTip(const RefreshState& state, bool showingSettings)
{
    if (showingSettings)
        return {};
    const std::optional<QString> text = problemText(state);
    return text ? displaySafeText(*text, statusToolTipLimit) : QString();
}

HeaderModel::StatusColor HeaderModel::statusColor(const RefreshState& state, bool hasServers)
{
    switch (state.kind) {
    case RefreshState::Kind::Stale:
        return StatusColor::Orange;
    case RefreshState::Kind::Failed:
        return StatusColor::Red;
    case RefreshState::Kind::Idle:
    case RefreshState::Kind::Refreshing:
        break;
    }
    return hasServers ? StatusColor::Green : StatusColor::Secondary;
}

bool HeaderModel::statusIsActive(const RefreshState& state, bool hasServers)
{
    return hasServers && (state.kind == RefreshState::Kind::Idle || state.kind == RefreshState::Kind::Refreshing);
}
