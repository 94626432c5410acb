#include "platform/statusitem.h"

#include <QSystemTrayIcon>

SystemStatusItem::SystemStatusItem(QObject* parent)
    : StatusItem(parent)
    , m_icon(new QSystemTrayIcon(this))
{
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Q_EMIT activated();
    });
}

SystemStatusItem::~SystemStatusItem() = default;

void SystemStatusItem::setIcon(const QIcon& icon)
{
    m_icon->setIcon(icon);
}

void SystemStatusItem::setToolTip(const QString& text)
{
    m_icon->setToolTip(text);
}

void SystemStatusItem::show()
{
    m_icon->show();
}

QRect SystemStatusItem::geometry() const
{
    return m_icon->geometry();
}
