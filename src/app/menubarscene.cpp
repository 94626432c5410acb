#include "app/menubarscene.h"

#include "app/porthiveapp.h"
#include "app/porthivesettings.h"
#include "app/softwareupdatecontroller.h"
#include "app/statusicon.h"
#include "control/serverstore.h"
#include "platform/desktop/statusitem.h"
#include "platform/desktop/statusnotifieritem.h"
#include "platform/desktop/trayhostwatcher.h"
#include "platform/desktop/xembedstatusitem.h"
#include "platform/system/clock.h"
#include "ui/windowcontext.h"

#include <QCursor>
#include <QGuiApplication>
#include <QPointer>
#include <QTimer>

#include <optional>

using namespace Qt::StringLiterals;

MenuBarScene::Seams MenuBarScene::standardSeams()
{
    Seams seams;
    seams.trayHosts = std::make_unique<SystemTrayHostWatcher>();
    seams.makeStatusItem = [](TrayKind kind) -> std::unique_ptr<StatusItem> {
        if (kind == TrayKind::XEmbed)
            return std::make_unique<XEmbedStatusItem>();
        return std::make_unique<StatusNotifierItem>(QCoreApplication::applicationName(),
                                                    QGuiApplication::applicationDisplayName());
    };
    seams.makeWindow = [](QVariantMap properties, WindowContext& context) -> std::unique_ptr<StatusWindowing> {
        return std::make_unique<DropDownWindow>(std::move(properties), context, SystemClock::shared());
    };
    seams.pointerPosition = [] {
        return QCursor::pos();
    };
    return seams;
}

MenuBarScene::MenuBarScene(PorthiveApp& app, Workspace& workspace, Clipboard& clipboard, Seams seams, QObject* parent)
    : QObject(parent)
    , m_app(app)
    , m_seams(std::move(seams))
    , m_context(std::make_unique<WindowContext>(app.analytics(), workspace, clipboard))
{
    connect(m_context.get(), &WindowContext::quitRequested, this, &MenuBarScene::quitRequested);
    connect(m_context.get(), &WindowContext::dismissRequested, this, [this] {
        // An ordinary window stays: without a tray it could not be brought back.
        if (m_window && m_window->style() == StatusWindowing::Style::DropDown)
            m_window->hide();
    });

    ServerStore& store = m_app.store();
    connect(&store, &ServerStore::refreshStateChanged, this, &MenuBarScene::updateLabel);
    connect(&store, &ServerStore::runningServerCountChanged, this, &MenuBarScene::updateLabel);
    m_label = MenuBarLabel::make(store.refreshState(), store.runningServerCount());
}

MenuBarScene::~MenuBarScene() = default;

void MenuBarScene::start()
{
    m_graceTimer = new QTimer(this);
    m_graceTimer->setSingleShot(true);
    connect(m_graceTimer, &QTimer::timeout, this, [this] {
        if (!m_statusItem)
            ensureWindow().show(StatusWindowing::Style::Ordinary, {});
    });
    connect(m_seams.trayHosts.get(), &TrayHostWatching::hostsChanged, this, &MenuBarScene::trayHostsChanged);
    trayHostsChanged();
}

bool MenuBarScene::usable(TrayKind kind)
{
    const bool present = m_seams.trayHosts->hasHost(kind);
    // A tray that refused the icon is asked again once it went away and another came.
    bool& refused = kind == TrayKind::StatusNotifier ? m_statusNotifierRefused : m_xembedRefused;
    if (!present)
        refused = false;
    return present && !refused;
}

void MenuBarScene::trayHostsChanged()
{
    const bool statusNotifier = usable(TrayKind::StatusNotifier);
    const bool xembed = usable(TrayKind::XEmbed);
    // The icon stays while its tray does, even when the other kind appears.
    if (m_statusItem && m_seams.trayHosts->hasHost(m_statusItemKind))
        return;
    m_statusItem.reset();
    std::optional<TrayKind> kind;
    if (statusNotifier)
        kind = TrayKind::StatusNotifier;
    else if (xembed)
        kind = TrayKind::XEmbed;
    if (!kind) {
        // A panel that restarts comes back within the grace period without the window showing meanwhile.
        const bool ordinaryShown =
            m_window && m_window->isVisible() && m_window->style() == StatusWindowing::Style::Ordinary;
        if (!ordinaryShown && !m_graceTimer->isActive())
            m_graceTimer->start(m_seams.trayGracePeriod);
        return;
    }
    m_graceTimer->stop();
    makeStatusItem(*kind);
    if (m_window && m_window->style() == StatusWindowing::Style::Ordinary)
        m_window->hide();
}

void MenuBarScene::makeStatusItem(TrayKind kind)
{
    m_statusItem = m_seams.makeStatusItem(kind);
    m_statusItemKind = kind;
    m_statusItem->setIcon(StatusIcon::make(m_label));
    m_statusItem->setToolTip(m_label.accessibilityLabel);
    connect(m_statusItem.get(), &StatusItem::activated, this, &MenuBarScene::iconClicked);
    // Later, not inside the item's own call: the item goes.
    connect(
        m_statusItem.get(), &StatusItem::failed, this,
        [this, item = QPointer<StatusItem>(m_statusItem.get())] {
            if (item && item == m_statusItem.get())
                statusItemFailed();
        },
        Qt::QueuedConnection);
    m_statusItem->show();
}

void MenuBarScene::statusItemFailed()
{
    (m_statusItemKind == TrayKind::StatusNotifier ? m_statusNotifierRefused : m_xembedRefused) = true;
    m_statusItem.reset();
    trayHostsChanged();
}

void MenuBarScene::updateLabel()
{
    const ServerStore& store = m_app.store();
    const MenuBarLabel label = MenuBarLabel::make(store.refreshState(), store.runningServerCount());
    if (label == m_label)
        return;
    m_label = label;
    if (m_statusItem) {
        m_statusItem->setIcon(StatusIcon::make(m_label));
        m_statusItem->setToolTip(m_label.accessibilityLabel);
    }
}

QRect MenuBarScene::anchor() const
{
    const QRect icon = m_statusItem ? m_statusItem->geometry() : QRect();
    if (icon.isValid() && !icon.isEmpty())
        return icon;
    return QRect(m_seams.pointerPosition(), QSize(1, 1));
}

void MenuBarScene::iconClicked()
{
    ensureWindow().toggle(anchor());
}

void MenuBarScene::showWindow()
{
    if (m_statusItem)
        ensureWindow().show(StatusWindowing::Style::DropDown, anchor());
    else
        ensureWindow().show(StatusWindowing::Style::Ordinary, {});
}

StatusWindowing& MenuBarScene::ensureWindow()
{
    if (!m_window) {
        const QVariantMap properties = {
            {u"store"_s, QVariant::fromValue<QObject*>(&m_app.store())},
            {u"settings"_s, QVariant::fromValue<QObject*>(&m_app.settings())},
            {u"updateController"_s, QVariant::fromValue<QObject*>(&m_app.softwareUpdateController())},
            {u"context"_s, QVariant::fromValue<QObject*>(m_context.get())},
        };
        m_window = m_seams.makeWindow(properties, *m_context);
        connect(m_window.get(), &StatusWindowing::closed, this, &MenuBarScene::windowClosed);
    }
    return *m_window;
}

void MenuBarScene::windowClosed()
{
    // Closed like any window; without a tray it is the only way back into the application, so it quits as the
    // Quit button does instead of leaving a process nobody can reach.
    if (!m_statusItem && m_window->style() == StatusWindowing::Style::Ordinary)
        Q_EMIT quitRequested();
}
