#pragma once

#include <QIcon>
#include <QObject>
#include <QRect>
#include <QString>

// The application's icon in the desktop's tray.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void setIcon(const QIcon& icon) = 0;
    virtual void setToolTip(const QString& text) = 0;
    virtual void show() = 0;
    // Where the icon is on screen, in global coordinates, as far as the tray tells; empty when it does not.
    virtual QRect geometry() const = 0;

Q_SIGNALS:
    // A primary (left) click.
    void activated();
    // The tray refused the icon or could not be reached: it is not shown. Emitted from the event loop, never from
    // inside a call on the item.
    void failed();
};
