#pragma once

#include <QQuickPaintedItem>
#include <QtQml/qqmlregistration.h>

// One tray icon as the tray would draw it, shown at its device-pixel size so the detail can be checked.
class TrayIconPreview : public QQuickPaintedItem
{
    Q_OBJECT
    QML_ELEMENT
    // "idle", "refreshing", "stale" or "failed".
    Q_PROPERTY(QString refreshState MEMBER m_refreshState NOTIFY changed)
    Q_PROPERTY(int runningCount MEMBER m_runningCount NOTIFY changed)
    Q_PROPERTY(int iconSize MEMBER m_iconSize NOTIFY changed)
    Q_PROPERTY(qreal ratio MEMBER m_ratio NOTIFY changed)

public:
    explicit TrayIconPreview(QQuickItem* parent = nullptr);
    void paint(QPainter* painter) override;

Q_SIGNALS:
    void changed();

private:
    void resize();

    QString m_refreshState = QStringLiteral("idle");
    int m_runningCount = 0;
    int m_iconSize = 22;
    qreal m_ratio = 1;
};
