#pragma once

#include "control/refreshstate.h"
#include "control/serverstore.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QtQml/qqml.h>

class Clock;

// What the header shows of the store: the status line, its dot, and whether a refresh runs.
class HeaderModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(ServerStore* store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(bool showingSettings READ showingSettings WRITE setShowingSettings NOTIFY showingSettingsChanged)
    // The recent saved projects, before any filter.
    Q_PROPERTY(int savedCount READ savedCount NOTIFY stateChanged)
    Q_PROPERTY(QString subtitle READ subtitle NOTIFY stateChanged)
    // The status line's tooltip: the whole stale or failure text, empty when there is none.
    Q_PROPERTY(QString statusToolTip READ statusToolTip NOTIFY stateChanged)
    Q_PROPERTY(StatusColor statusColor READ statusColor NOTIFY stateChanged)
    Q_PROPERTY(bool statusIsActive READ statusIsActive NOTIFY stateChanged)
    Q_PROPERTY(bool refreshing READ refreshing NOTIFY stateChanged)

public:
    // The status dot's colour; the view maps each to the theme's colour of that name.
    enum class StatusColor
    {
        Secondary,
        Green,
        Orange,
        Red
    };
    Q_ENUM(StatusColor)

    // Longer status lines keep their first 37 characters and an ellipsis.
    static constexpr qsizetype subtitleLimit = 40;
    // The tooltip holds a failure whole; only a text of several tooltip lines' worth is cut.
    static constexpr qsizetype statusToolTipLimit = 600;

    explicit HeaderModel(QObject* parent = nullptr);

    ServerStore* store() const { return m_store; }
    void setStore(ServerStore* store);
    bool showingSettings() const { return m_showingSettings; }
    void setShowingSettings(bool showing);
    // The clock the saved count's date buckets are read against; the system clock by default.
    void setClock(const Clock& clock);

    int savedCount() const;
    QString subtitle() const;
    QString statusToolTip() const;
    StatusColor statusColor() const;
    bool statusIsActive() const;
    bool refreshing() const;

    // Starts a refresh of the store and returns at once.
    Q_INVOKABLE void refresh();

    static QString subtitle(const RefreshState& state, qsizetype serverCount, qsizetype savedCount,
                            bool showingSettings);
    static QString statusToolTip(const RefreshState& state, bool showingSettings);
    static StatusColor statusColor(const RefreshState& state, bool hasServers);
    static bool statusIsActive(const RefreshState& state, bool hasServers);

Q_SIGNALS:
    void storeChanged();
    void showingSettingsChanged();
    // Any of the derived values may have changed.
    void stateChanged();

private:
    QPointer<ServerStore> m_store;
    bool m_showingSettings = false;
    const Clock* m_clock;
};
