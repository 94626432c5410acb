#include "platform/statusitem.h"

#include <QSystemTrayIcon>

XEmbedStatusItem::XEmbedStatusItem(QObject* parent)
    : StatusItem(parent)
    , m_icon(new QSystemTrayIcon(this))
{
    connect(m_icon, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger)
            Q_EMIT activated();
    });
}

XEmbedStatusItem::~XEmbedStatusItem() = default;

void XEmbedStatusItem::setIcon(const QIcon& icon)
{
    m_icon->setIcon(icon);
}

void XEmbedStatusItem::setToolTip(const QString& text)
{
    m_icon->setToolTip(text);
}

void XEmbedStatusItem::show()
{
    m_icon->show();
}

QRect XEmbedStatusItem::geometry() const
{
    return m_icon->geometry();
}
