#pragma once

#include <QObject>
#include <QtQml/qqmlregistration.h>

class AnalyticsCapturing;
class Clipboard;
class Workspace;

// What the window needs from the application around it: the analytics client, the desktop (file browser,
// browser, clipboard), the usable height of the window's screen, and the ways to leave the window.
// The application makes one and hands it to the root view; tests make one over fakes.
class WindowContext final : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_UNCREATABLE("made by the application")
    // The height of the window's screen without panels; 900 when the window has no screen.
    Q_PROPERTY(qreal availableHeight READ availableHeight NOTIFY availableHeightChanged)

public:
    static constexpr qreal defaultAvailableHeight = 900;

    WindowContext(AnalyticsCapturing& analytics, Workspace& workspace, Clipboard& clipboard, QObject* parent = nullptr);

    AnalyticsCapturing& analytics() const { return m_analytics; }
    Workspace& workspace() const { return m_workspace; }
    Clipboard& clipboard() const { return m_clipboard; }

    qreal availableHeight() const { return m_availableHeight; }
    void setAvailableHeight(qreal height);

    // The footer's quit button.
    Q_INVOKABLE void quit();
    // Escape with nothing left to close: the window goes away.
    Q_INVOKABLE void dismiss();

Q_SIGNALS:
    void availableHeightChanged();
    void quitRequested();
    void dismissRequested();

private:
    AnalyticsCapturing& m_analytics;
    Workspace& m_workspace;
    Clipboard& m_clipboard;
    qreal m_availableHeight = defaultAvailableHeight;
};
