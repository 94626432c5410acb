#include "platform/desktop/statusnotifieritem.h"

#include "platform/desktop/traywindowplacement.h"
#include "platform/platformlog.h"

#include <QCoreApplication>
#include <QDBusAbstractAdaptor>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCall>
#include <QDBusPendingCallWatcher>
#include <QImage>
#include <QtEndian>

#include <atomic>

using namespace Qt::StringLiterals;

namespace {

const QString watcherService = u"org.kde.StatusNotifierWatcher"_s;
const QString watcherPath = u"/StatusNotifierWatcher"_s;
const QString watcherInterface = u"org.kde.StatusNotifierWatcher"_s;

// The sizes offered when the icon names none.
const QList<QSize> fallbackSizes = {QSize(16, 16), QSize(22, 22), QSize(24, 24), QSize(32, 32), QSize(48, 48)};

void registerTypes()
{
    static const bool registered = [] {
        qDBusRegisterMetaType<StatusNotifierImage>();
        qDBusRegisterMetaType<QList<StatusNotifierImage>>();
        qDBusRegisterMetaType<StatusNotifierToolTip>();
        return true;
    }();
    Q_UNUSED(registered);
}

} // namespace

// The org.kde.StatusNotifierItem interface of one item. An item without a menu: hosts send Activate for a
// primary click.
class StatusNotifierItemAdaptor final : public QDBusAbstractAdaptor
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierItem")
    Q_PROPERTY(QString Category READ category)
    Q_PROPERTY(QString Id READ id)
    Q_PROPERTY(QString Title READ title)
    Q_PROPERTY(QString Status READ status)
    Q_PROPERTY(int WindowId READ windowId)
    Q_PROPERTY(QString IconName READ noName)
    Q_PROPERTY(QList<StatusNotifierImage> IconPixmap READ iconPixmap)
    Q_PROPERTY(QString OverlayIconName READ noName)
    Q_PROPERTY(QList<StatusNotifierImage> OverlayIconPixmap READ noImages)
    Q_PROPERTY(QString AttentionIconName READ noName)
    Q_PROPERTY(QList<StatusNotifierImage> AttentionIconPixmap READ noImages)
    Q_PROPERTY(QString AttentionMovieName READ noName)
    Q_PROPERTY(StatusNotifierToolTip ToolTip READ toolTip)
    Q_PROPERTY(bool ItemIsMenu READ itemIsMenu)
    Q_PROPERTY(QDBusObjectPath Menu READ menu)

public:
    explicit StatusNotifierItemAdaptor(StatusNotifierItem* item)
        : QDBusAbstractAdaptor(item)
        , m_item(item)
    {}

    QString category() const { return u"ApplicationStatus"_s; }
    QString id() const { return m_item->m_id; }
    QString title() const { return m_item->m_title; }
    QString status() const { return u"Active"_s; }
    int windowId() const { return 0; }
    QString noName() const { return {}; }
    QList<StatusNotifierImage> iconPixmap() const { return m_item->m_images; }
    QList<StatusNotifierImage> noImages() const { return {}; }
    StatusNotifierToolTip toolTip() const { return {{}, {}, m_item->m_toolTip, {}}; }
    bool itemIsMenu() const { return false; }
    QDBusObjectPath menu() const { return QDBusObjectPath(u"/NO_DBUSMENU"_s); }

public Q_SLOTS:
    void Activate(int x, int y) { m_item->activate(QPoint(x, y)); }
    void SecondaryActivate(int, int) {}
    void ContextMenu(int, int) {}
    void Scroll(int, const QString&) {}

Q_SIGNALS:
    void NewTitle();
    void NewIcon();
    void NewAttentionIcon();
    void NewOverlayIcon();
    void NewToolTip();
    void NewStatus(const QString& status);

private:
    StatusNotifierItem* m_item;
};

StatusNotifierImage StatusNotifierImage::fromImage(const QImage& image)
{
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    StatusNotifierImage result{argb.width(), argb.height(), {}};
    result.argb.resize(qsizetype(argb.width()) * argb.height() * 4);
    auto* out = reinterpret_cast<quint32*>(result.argb.data());
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x)
            *out++ = qToBigEndian(line[x]);
    }
    return result;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierImage& image)
{
    argument.beginStructure();
    argument << image.width << image.height << image.argb;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierImage& image)
{
    argument.beginStructure();
    argument >> image.width >> image.height >> image.argb;
    argument.endStructure();
    return argument;
}

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip)
{
    argument.beginStructure();
    argument << toolTip.iconName << toolTip.images << toolTip.title << toolTip.text;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip)
{
    argument.beginStructure();
    argument >> toolTip.iconName >> toolTip.images >> toolTip.title >> toolTip.text;
    argument.endStructure();
    return argument;
}

StatusNotifierItem::StatusNotifierItem(QString id, QString title, QDBusConnection bus, QObject* parent)
    : StatusItem(parent)
    , m_bus(std::move(bus))
    , m_id(std::move(id))
    , m_title(std::move(title))
{
    registerTypes();
    // A new name for every item: a host may still hold on to the last one's for a moment.
    static std::atomic<int> made = 0;
    m_serviceName = u"org.kde.StatusNotifierItem-%1-%2"_s.arg(QCoreApplication::applicationPid()).arg(++made);
    m_adaptor = new StatusNotifierItemAdaptor(this);
}

StatusNotifierItem::~StatusNotifierItem()
{
    if (!m_registered)
        return;
    // The watcher forgets an item whose name went away.
    m_bus.unregisterService(m_serviceName);
    m_bus.unregisterObject(objectPath());
}

QString StatusNotifierItem::objectPath()
{
    return u"/StatusNotifierItem"_s;
}

void StatusNotifierItem::setIcon(const QIcon& icon)
{
    QList<QSize> sizes = icon.availableSizes();
    if (sizes.isEmpty())
        sizes = fallbackSizes;
    m_images.clear();
    for (const QSize& size : std::as_const(sizes))
        m_images.append(StatusNotifierImage::fromImage(icon.pixmap(size, 1.0).toImage()));
    Q_EMIT m_adaptor->NewIcon();
}

void StatusNotifierItem::setToolTip(const QString& text)
{
    if (text == m_toolTip)
        return;
    m_toolTip = text;
    Q_EMIT m_adaptor->NewToolTip();
}

void StatusNotifierItem::show()
{
    if (m_registered)
        return;
    if (!m_bus.isConnected()) {
        qCDebug(lcTray) << "no session bus for the StatusNotifierItem:" << m_bus.lastError().message();
        return;
    }
    if (!m_bus.registerObject(objectPath(), this, QDBusConnection::ExportAdaptors)) {
        qCDebug(lcTray) << "the StatusNotifierItem object could not be exported:" << m_bus.lastError().message();
        return;
    }
    if (!m_bus.registerService(m_serviceName)) {
        qCDebug(lcTray) << "the StatusNotifierItem name could not be taken:" << m_bus.lastError().message();
        m_bus.unregisterObject(objectPath());
        return;
    }
    m_registered = true;
    QDBusMessage registration =
        QDBusMessage::createMethodCall(watcherService, watcherPath, watcherInterface, u"RegisterStatusNotifierItem"_s);
    registration << m_serviceName;
    // A refusal leaves no icon: the scene falls back to another tray or the ordinary window. Gone with the item.
    auto* call = new QDBusPendingCallWatcher(m_bus.asyncCall(registration), this);
    connect(call, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* finished) {
        finished->deleteLater();
        if (finished->isError()) {
            qCDebug(lcTray) << "the StatusNotifierWatcher refused the item:" << finished->error().name()
                            << finished->error().message();
            Q_EMIT failed();
        }
    });
}

void StatusNotifierItem::activate(const QPoint& position)
{
    // Hosts that do not say where the click was send 0, 0.
    m_clickedAt = position.isNull() ? QRect() : logicalScreenRect(QRect(position, QSize(1, 1)));
    Q_EMIT activated();
}

#include "statusnotifieritem.moc"
