#pragma once

#include <QIcon>
#include <QObject>
#include <QRect>
#include <QString>

class QSystemTrayIcon;

// The application's icon in the desktop's tray.
class StatusItem : public QObject
{
    Q_OBJECT

public:
    using QObject::QObject;

    virtual void setIcon(const QIcon& icon) = 0;
    virtual void setToolTip(const QString& text) = 0;
    virtual void show() = 0;
    // The icon's place on screen, in global coordinates; empty when the tray does not tell (StatusNotifierItem
    // hosts do not).
    virtual QRect geometry() const = 0;

Q_SIGNALS:
    // A primary (left) click.
    void activated();
};

// The icon in the X11 system tray, through QSystemTrayIcon, without a context menu.
//
// QSystemTrayIcon picks StatusNotifierItem or the X11 tray once per process, at the first one made, and keeps
// that choice for every later one: make this only while no StatusNotifierItem host is registered, and never
// ask QSystemTrayIcon::isSystemTrayAvailable(), which makes the same choice. Needs a QApplication.
class XEmbedStatusItem final : public StatusItem
{
    Q_OBJECT

public:
    explicit XEmbedStatusItem(QObject* parent = nullptr);
    ~XEmbedStatusItem() override;

    void setIcon(const QIcon& icon) override;
    void setToolTip(const QString& text) override;
    void show() override;
    QRect geometry() const override;

private:
    QSystemTrayIcon* m_icon;
};
