#include "windowstate.h"

#include "telemetry/analyticsclient.h"
#include "telemetry/analyticsevent.h"
#include "windowcontext.h"

WindowState::WindowState(QObject* parent)
    : QObject(parent)
{}

QVariant WindowState::selectedLogValue() const
{
    return m_selectedLog ? QVariant::fromValue(*m_selectedLog) : QVariant();
}

void WindowState::setContext(WindowContext* context)
{
    if (m_context == context)
        return;
    m_context = context;
    Q_EMIT contextChanged();
}

void WindowState::showSettings()
{
    if (m_context)
        m_context->analytics().capture(AnalyticsEvent::settingsOpened());
    setSelectedLog(std::nullopt);
    setShowingSettings(true);
}

void WindowState::hideSettings()
{
    setShowingSettings(false);
}

void WindowState::closeLog()
{
    setSelectedLog(std::nullopt);
}

void WindowState::showLog(const QVariant& selection)
{
    if (selection.metaType() != QMetaType::fromType<LogSelection>())
        return;
    showLog(selection.value<LogSelection>());
}

void WindowState::showLog(const LogSelection& selection)
{
    setShowingSettings(false);
    setSelectedLog(selection);
}

bool WindowState::closeTopOverlay()
{
    if (m_selectedLog) {
        setSelectedLog(std::nullopt);
        return true;
    }
    if (m_showingSettings) {
        setShowingSettings(false);
        return true;
    }
    return false;
}

void WindowState::selectRuntimeFilter(const QString& kind)
{
    if (m_runtimeFilter == kind)
        return;
    m_runtimeFilter = kind;
    Q_EMIT runtimeFilterChanged();
}

void WindowState::toggleBucketExpansion(const QString& label)
{
    if (!m_expandedSavedBucketIDs.removeAll(label))
        m_expandedSavedBucketIDs.append(label);
    Q_EMIT expandedSavedBucketIDsChanged();
}

void WindowState::setShowingSettings(bool showing)
{
    if (m_showingSettings == showing)
        return;
    m_showingSettings = showing;
    Q_EMIT showingSettingsChanged();
}

void WindowState::setSelectedLog(std::optional<LogSelection> selection)
{
    if (m_selectedLog == selection)
        return;
    m_selectedLog = std::move(selection);
    Q_EMIT selectedLogChanged();
}
