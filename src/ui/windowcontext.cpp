#include "windowcontext.h"

WindowContext::WindowContext(AnalyticsCapturing& analytics, Workspace& workspace, Clipboard& clipboard, QObject* parent)
    : QObject(parent)
    , m_analytics(analytics)
    , m_workspace(workspace)
    , m_clipboard(clipboard)
{}

void WindowContext::setAvailableHeight(qreal height)
{
    if (qFuzzyCompare(height, m_availableHeight))
        return;
    m_availableHeight = height;
    Q_EMIT availableHeightChanged();
}

void WindowContext::quit()
{
    Q_EMIT quitRequested();
}

void WindowContext::dismiss()
{
    Q_EMIT dismissRequested();
}
