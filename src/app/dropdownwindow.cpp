#include "app/dropdownwindow.h"

#include "app/applog.h"
#include "platform/desktop/traywindowplacement.h"
#include "platform/system/clock.h"
#include "ui/windowcontext.h"

#include <QFile>
#include <QGuiApplication>
#include <QPalette>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QSGRendererInterface>
#include <QScreen>

using namespace Qt::StringLiterals;

namespace {

QString graphicsApiName(QSGRendererInterface::GraphicsApi api)
{
    switch (api) {
    case QSGRendererInterface::Software:
        return u"software"_s;
    case QSGRendererInterface::OpenGL:
        return u"opengl"_s;
    case QSGRendererInterface::Vulkan:
        return u"vulkan"_s;
    default:
        return QString::number(int(api));
    }
}

// The module keeps its files under qml/ unless they are given an alias.
QUrl rootViewURL()
{
    for (const QString& path :
         {u":/qt/qml/Porthive/MenuBarStatusView.qml"_s, u":/qt/qml/Porthive/qml/MenuBarStatusView.qml"_s}) {
        if (QFile::exists(path))
            return QUrl(u"qrc"_s + path);
    }
    return QUrl(u"qrc:/qt/qml/Porthive/MenuBarStatusView.qml"_s);
}

} // namespace

DropDownWindow::DropDownWindow(QVariantMap properties, WindowContext& context, const Clock& clock, QObject* parent)
    : StatusWindowing(parent)
    , m_view(std::make_unique<QQuickView>())
    , m_context(context)
    , m_clock(clock)
{
    m_view->engine()->addImportPath(u"qrc:/qt/qml"_s);
    m_view->setTitle(u"Porthive"_s);
    // The backdrop is slightly see-through; without a compositor it has to sit on the window colour, not black.
    m_view->setColor(QGuiApplication::palette().color(QPalette::Window));
    m_view->installEventFilter(this);
    m_view->setResizeMode(QQuickView::SizeViewToRootObject);
    m_view->setInitialProperties(properties);
    m_view->setSource(rootViewURL());
    m_view->setWidth(int(width));
    applyStyle(m_style);

    // Which renderer draws the window: the software one keeps the GPU driver out of the process.
    QQuickView* view = m_view.get();
    connect(
        view, &QQuickWindow::sceneGraphInitialized, view,
        [view] { qCInfo(lcWindow) << "scene graph" << graphicsApiName(view->rendererInterface()->graphicsApi()); },
        Qt::DirectConnection);
    connect(m_view.get(), &QWindow::activeChanged, this, &DropDownWindow::activeChanged);
    connect(m_view.get(), &QWindow::screenChanged, this, &DropDownWindow::followScreen);
    // The root view's height follows its content; a window above the icon keeps its bottom edge there.
    connect(m_view.get(), &QWindow::heightChanged, this, [this] {
        if (m_style == Style::DropDown && m_view->isVisible())
            place();
    });
    followScreen(m_view->screen());
}

DropDownWindow::~DropDownWindow() = default;

bool DropDownWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view.get() && event->type() == QEvent::ApplicationPaletteChange)
        m_view->setColor(QGuiApplication::palette().color(QPalette::Window));
    // The application hides the window itself and never closes it; a close comes from the user.
    if (watched == m_view.get() && event->type() == QEvent::Close)
        Q_EMIT closed();
    return StatusWindowing::eventFilter(watched, event);
}

QStringList DropDownWindow::errors() const
{
    QStringList texts;
    const QList<QQmlError> errors = m_view->errors();
    for (const QQmlError& error : errors)
        texts.append(error.toString());
    return texts;
}

bool DropDownWindow::isVisible() const
{
    return m_view->isVisible();
}

void DropDownWindow::applyStyle(Style style)
{
    m_style = style;
    if (style == Style::DropDown)
        m_view->setFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    else
        m_view->setFlags(Qt::Window);
}

void DropDownWindow::show(Style style, const QRect& anchor)
{
    if (style != m_style) {
        // Changing the decorations of a mapped window is not reliable on every window manager.
        hide();
        applyStyle(style);
    }
    m_lostFocusAt = -1;
    if (style == Style::DropDown) {
        m_anchor = anchor;
        QScreen* screen = QGuiApplication::screenAt(anchor.center());
        if (!screen)
            screen = QGuiApplication::primaryScreen();
        if (screen && screen != m_view->screen())
            m_view->setScreen(screen);
        place();
    }
    m_view->show();
    m_view->raise();
    m_view->requestActivate();
}

void DropDownWindow::hide()
{
    // Only focus the window gets after it shows again counts: a late notice that the focus left the ordinary
    // window would otherwise hide the drop-down as it appears.
    m_wasActive = false;
    m_view->hide();
}

void DropDownWindow::toggle(const QRect& anchor)
{
    if (m_view->isVisible() && m_style == Style::DropDown) {
        hide();
        return;
    }
    const bool justLostFocus =
        m_lostFocusAt >= 0 && m_clock.now().toMSecsSinceEpoch() - m_lostFocusAt < reopenGuard.count();
    m_lostFocusAt = -1;
    if (justLostFocus)
        return;
    show(Style::DropDown, anchor);
}

void DropDownWindow::place()
{
    QScreen* screen = m_view->screen();
    const QRect available = screen ? screen->availableGeometry() : QRect(m_anchor.topLeft(), QSize(1, 1));
    m_view->setPosition(dropDownWindowPosition(m_anchor, m_view->size(), available));
}

void DropDownWindow::followScreen(QScreen* screen)
{
    disconnect(m_screenConnection);
    m_screen = screen;
    const auto update = [this] {
        m_context.setAvailableHeight(m_screen ? m_screen->availableGeometry().height()
                                              : WindowContext::defaultAvailableHeight);
    };
    if (screen)
        m_screenConnection = connect(screen, &QScreen::availableGeometryChanged, this, update);
    update();
}

void DropDownWindow::activeChanged()
{
    if (m_view->isActive()) {
        m_wasActive = true;
        return;
    }
    if (m_style != Style::DropDown || !m_view->isVisible() || !m_wasActive)
        return;
    m_wasActive = false;
    m_lostFocusAt = m_clock.now().toMSecsSinceEpoch();
    hide();
}
