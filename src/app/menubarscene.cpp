#include "app/menubarscene.h"

#include "app/porthiveapp.h"
#include "app/porthivesettings.h"
#include "app/softwareupdatecontroller.h"
#include "app/statusicon.h"
#include "control/serverstore.h"
#include "platform/clock.h"
#include "platform/statusitem.h"
#include "platform/trayhostwatcher.h"
#include "ui/windowcontext.h"

#include <QCursor>
#include <QTimer>

using namespace Qt::StringLiterals;

MenuBarScene::Seams MenuBarScene::standardSeams()
{
    Seams seams;
    seams.trayHosts = std::make_unique<SystemTrayHostWatcher>();
    seams.makeStatusItem = [] {
        return std::make_unique<SystemStatusItem>();
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
    connect(m_seams.trayHosts.get(), &TrayHostWatching::hostAvailableChanged, this, &MenuBarScene::trayHostChanged);
    if (m_seams.trayHosts->isHostAvailable()) {
        makeStatusItem();
        return;
    }
    m_graceTimer = new QTimer(this);
    m_graceTimer->setSingleShot(true);
    connect(m_graceTimer, &QTimer::timeout, this, [this] {
        if (!m_statusItem)
            ensureWindow().show(StatusWindowing::Style::Ordinary, {});
    });
    m_graceTimer->start(m_seams.trayGracePeriod);
}

void MenuBarScene::trayHostChanged(bool available)
{
    // Once made, the icon stays: the toolkit follows a tray that restarts by itself.
    if (!available || m_statusItem)
        return;
    if (m_graceTimer)
        m_graceTimer->stop();
    makeStatusItem();
    if (m_window && m_window->style() == StatusWindowing::Style::Ordinary)
        m_window->hide();
}

void MenuBarScene::makeStatusItem()
{
    m_statusItem = m_seams.makeStatusItem();
    m_statusItem->setIcon(StatusIcon::make(m_label));
    m_statusItem->setToolTip(m_label.accessibilityLabel);
    connect(m_statusItem.get(), &StatusItem::activated, this, &MenuBarScene::iconClicked);
    m_statusItem->show();
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
    }
    return *m_window;
}
