#pragma once

#include "platform/desktop/statusitem.h"

#include <QByteArray>
#include <QDBusConnection>
#include <QList>
#include <QMetaType>

class QDBusArgument;
class QImage;
class StatusNotifierItemAdaptor;

// One picture of the icon as the StatusNotifierItem interface carries it: ARGB32 pixels in network byte order.
struct StatusNotifierImage
{
    int width = 0;
    int height = 0;
    QByteArray argb;

    friend bool operator==(const StatusNotifierImage&, const StatusNotifierImage&) = default;

    static StatusNotifierImage fromImage(const QImage& image);
};

// The interface's tooltip: an icon name, its pictures, a title and a longer text.
struct StatusNotifierToolTip
{
    QString iconName;
    QList<StatusNotifierImage> images;
    QString title;
    QString text;
};

QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierImage& image);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierImage& image);
QDBusArgument& operator<<(QDBusArgument& argument, const StatusNotifierToolTip& toolTip);
const QDBusArgument& operator>>(const QDBusArgument& argument, StatusNotifierToolTip& toolTip);

Q_DECLARE_METATYPE(StatusNotifierImage)
Q_DECLARE_METATYPE(StatusNotifierToolTip)

// The icon as a StatusNotifierItem of the application's own on the session bus, registered with the desktop's
// StatusNotifierWatcher when shown and gone with the object; a watcher that refuses it, or none there to answer,
// makes it fail. QSystemTrayIcon cannot be used for it: once it chose the X11 tray it never offers a
// StatusNotifierItem, and it titles the item with the program's file name.
class StatusNotifierItem final : public StatusItem
{
    Q_OBJECT

public:
    // `id` names the item for the host (the same in every session), `title` is what the host shows for it.
    StatusNotifierItem(QString id, QString title, QDBusConnection bus = QDBusConnection::sessionBus(),
                       QObject* parent = nullptr);
    ~StatusNotifierItem() override;

    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    void show() override;
    // Where the host said the last click was (hosts give no icon geometry); empty when it gave no position.
    QRect geometry() const override { return m_clickedAt; }

    // "org.kde.StatusNotifierItem-<pid>-<n>", the name the item is registered under.
    QString serviceName() const { return m_serviceName; }
    static QString objectPath();

private:
    friend class StatusNotifierItemAdaptor;

    // A host's Activate, at a position in the display's pixels; 0, 0 when it gives none.
    void activate(const QPoint& position);

    QDBusConnection m_bus;
    QString m_serviceName;
    QString m_id;
    QString m_title;
    QString m_toolTip;
    QList<StatusNotifierImage> m_images;
    StatusNotifierItemAdaptor* m_adaptor;
    QRect m_clickedAt;
    bool m_registered = false;
};
