#pragma once

#include <QObject>
#include <QPointer>
#include <QRect>
#include <QVariantMap>

#include <chrono>
#include <memory>

class Clock;
class QQuickView;
class QScreen;
class WindowContext;

// What the tray needs of the window: drop it down under the icon, show it as an ordinary window while there is
// no tray, hide it.
class StatusWindowing : public QObject
{
    Q_OBJECT

public:
    enum class Style
    {
        // Frameless, on top, under the tray icon, hidden when it loses focus.
        DropDown,
        // A window with the desktop's frame, for a desktop without a tray.
        Ordinary
    };

    using QObject::QObject;

    virtual Style style() const = 0;
    virtual bool isVisible() const = 0;
    // Shows the window in `style`; a drop-down goes under `anchor` (the icon, or the pointer).
    virtual void show(Style style, const QRect& anchor) = 0;
    virtual void hide() = 0;
    // A click on the tray icon: shows the drop-down, or hides it when it is up. The click that took the focus
    // away from the window (and so hid it) does not show it again.
    virtual void toggle(const QRect& anchor) = 0;

Q_SIGNALS:
    // The user closed the window through its frame or the window manager; it hides.
    void closed();
};

// The Qt Quick window with the root view, MenuBarStatusView.
class DropDownWindow final : public StatusWindowing
{
    Q_OBJECT

public:
    static constexpr qreal width = 400;
    // A click that arrives this soon after the window lost the focus is the one that took it.
    static constexpr std::chrono::milliseconds reopenGuard{400};

    // `properties` are the root view's required properties. The view is loaded at once.
    DropDownWindow(QVariantMap properties, WindowContext& context, const Clock& clock, QObject* parent = nullptr);
    ~DropDownWindow() override;

    Style style() const override { return m_style; }
    bool isVisible() const override;
    void show(Style style, const QRect& anchor) override;
    void hide() override;
    void toggle(const QRect& anchor) override;

    QQuickView* view() const { return m_view.get(); }
    // Load errors of the root view, empty when it loaded.
    QStringList errors() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyStyle(Style style);
    void place();
    void followScreen(QScreen* screen);
    void activeChanged();

    std::unique_ptr<QQuickView> m_view;
    WindowContext& m_context;
    const Clock& m_clock;
    Style m_style = Style::DropDown;
    QRect m_anchor;
    QPointer<QScreen> m_screen;
    QMetaObject::Connection m_screenConnection;
    bool m_wasActive = false;
    qint64 m_lostFocusAt = -1;
};
