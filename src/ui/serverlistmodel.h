#pragma once

#include "menucontent.h"
#include "rowviewstates.h"
#include "serverlistrow.h"

#include <QAbstractListModel>
#include <QPointF>
#include <QPointer>
#include <QQmlParserStatus>
#include <QStringList>
#include <QtQml/qqmlregistration.h>

#include <chrono>
#include <optional>

class Clock;
class ServerStore;

// The window's list as one model. A new snapshot changes it by removes, moves, inserts and data changes of rows
// whose key stays, never by a reset, so a row's view state (hover, a pending confirmation) survives a refresh.
// Row actions act on the store's current entry for the row's key: a server that left is not acted on.
//
// The list makes its delegates lazily and lets them go when they scroll out, so what a row's view must keep for
// as long as its key is listed lives here: that it has appeared (it fades in once) and its open confirmation.
// It goes with the key.
class ServerListModel : public QAbstractListModel, public QQmlParserStatus
{
    Q_OBJECT
    QML_ELEMENT
    Q_INTERFACES(QQmlParserStatus)

    Q_PROPERTY(ServerStore* store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(bool groupAgentBrowserSessions READ groupAgentBrowserSessions WRITE setGroupAgentBrowserSessions NOTIFY
                   groupAgentBrowserSessionsChanged)
    // A runtime kind's raw value; empty for none.
    Q_PROPERTY(QString runtimeFilter READ runtimeFilter WRITE setRuntimeFilter NOTIFY runtimeFilterChanged)
    Q_PROPERTY(QStringList expandedSavedBucketIDs READ expandedSavedBucketIDs WRITE setExpandedSavedBucketIDs NOTIFY
                   expandedSavedBucketIDsChanged)
    Q_PROPERTY(qreal availableHeight READ availableHeight WRITE setAvailableHeight NOTIFY availableHeightChanged)
    // The reveal segments' help, which names the desktop's file manager.
    Q_PROPERTY(QString revealHelpText READ revealHelpText WRITE setRevealHelpText NOTIFY revealHelpTextChanged)

    Q_PROPERTY(int count READ count NOTIFY contentChanged)
    Q_PROPERTY(bool isEmptyOverall READ isEmptyOverall NOTIFY contentChanged)
    // Running items or saved sections to show (else the filter note stands in the list's place).
    Q_PROPERTY(bool hasContent READ hasContent NOTIFY contentChanged)
    Q_PROPERTY(QStringList filterKinds READ filterKinds NOTIFY contentChanged)
    // The filter rail's chips: {kind, label} per kind present.
    Q_PROPERTY(QVariantList filterChoices READ filterChoices NOTIFY contentChanged)
    Q_PROPERTY(QString activeFilter READ activeFilter NOTIFY contentChanged)
    Q_PROPERTY(QString filterEmptyText READ filterEmptyText NOTIFY contentChanged)
    Q_PROPERTY(int runningCount READ runningCount NOTIFY contentChanged)
    Q_PROPERTY(int savedTotal READ savedTotal NOTIFY contentChanged)
    Q_PROPERTY(qreal listHeight READ listHeight NOTIFY contentChanged)
    Q_PROPERTY(QStringList animationIdentities READ animationIdentities NOTIFY contentChanged)
    // A refresh is under way (the empty state's scanning look).
    Q_PROPERTY(bool isScanning READ isScanning NOTIFY isScanningChanged)
    // After a row's confirmation opened or closed, a press on its actions this soon (ms) and this near (px) to
    // the press that did it is that click's second half: the desktop's double-click interval and distance.
    Q_PROPERTY(int swapGuardInterval READ swapGuardInterval WRITE setSwapGuardInterval NOTIFY swapGuardIntervalChanged)
    Q_PROPERTY(int swapGuardDistance READ swapGuardDistance WRITE setSwapGuardDistance NOTIFY swapGuardDistanceChanged)

public:
    enum Role
    {
        RowTypeRole = Qt::UserRole + 1,
        KeyRole,
        ShowsDividerRole,
        StaggerIndexRole,
        TitleRole,
        CountRole,
        SecondaryAccentRole,
        KindRole,
        PortTextRole,
        PausedRole,
        PendingTagRole,
        PendingTagColorRole,
        HasPendingRole,
        LiveRole,
        HttpStatusRole,
        ConnectionCountRole,
        HasLogSessionRole,
        LogHelpTextRole,
        LogPreviewTextRole,
        LocationTextRole,
        DetailTooltipRole,
        OpenHelpRole,
        ActionsRole,
        SessionsTextRole,
        SummaryTextRole,
        TooltipTextRole,
        StatusTagTextRole,
        StatusTagColorRole,
        StatusTagSpinningRole,
        CommandTextRole,
        IsStartingRole,
        HiddenCountRole,
        IsExpandedRole,
        BucketLabelRole,
        DisclosureTextRole,
        DisclosureHintRole,
        // The row's kill or forget confirmation is open.
        ConfirmingRole,
    };
    Q_ENUM(Role)

    explicit ServerListModel(QObject* parent = nullptr);
    ~ServerListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QHash<int, QByteArray> roleNames() const override;

    void classBegin() override;
    void componentComplete() override;

    ServerStore* store() const { return m_store; }
    void setStore(ServerStore* store);
    bool groupAgentBrowserSessions() const { return m_groupAgentBrowserSessions; }
    void setGroupAgentBrowserSessions(bool group);
    QString runtimeFilter() const { return m_runtimeFilter; }
    void setRuntimeFilter(const QString& kind);
    QStringList expandedSavedBucketIDs() const { return m_expandedSavedBucketIDs; }
    void setExpandedSavedBucketIDs(const QStringList& labels);
    qreal availableHeight() const { return m_availableHeight; }
    void setAvailableHeight(qreal height);
    QString revealHelpText() const { return m_revealHelpText; }
    void setRevealHelpText(const QString& text);
    // The moment each snapshot is taken at; the system clock when null. Not owned.
    void setClock(const Clock* clock);
    // Home folder for the tooltips' "~"; the user's home unless set.
    void setHomePath(const QString& home);
    int swapGuardInterval() const { return int(m_viewStates.guardInterval().count()); }
    void setSwapGuardInterval(int milliseconds);
    int swapGuardDistance() const { return m_viewStates.guardDistance(); }
    void setSwapGuardDistance(int pixels);

    int count() const { return int(m_rows.size()); }
    const QList<ServerListRow>& rows() const { return m_rows; }
    const MenuContentSnapshot& snapshot() const { return m_snapshot; }
    bool isEmptyOverall() const { return m_snapshot.isEmptyOverall; }
    bool hasContent() const { return !m_snapshot.runningItems.isEmpty() || !m_snapshot.savedBuckets.isEmpty(); }
    QStringList filterKinds() const;
    QVariantList filterChoices() const;
    QString activeFilter() const;
    QString filterEmptyText() const;
    int runningCount() const { return m_snapshot.runningCount; }
    int savedTotal() const { return m_snapshot.savedTotal; }
    qreal listHeight() const;
    QStringList animationIdentities() const { return MenuContent::animationIdentities(m_snapshot); }
    bool isScanning() const { return m_isScanning; }

    // Builds a fresh snapshot and brings the rows to it.
    Q_INVOKABLE void refresh();

    // Server rows, by key.
    Q_INVOKABLE void openServer(const QString& key);
    Q_INVOKABLE void pauseOrResumeServer(const QString& key);
    Q_INVOKABLE void restartServer(const QString& key);
    Q_INVOKABLE void revealServer(const QString& key);
    Q_INVOKABLE void forceKillServer(const QString& key);
    // A LogSelection, or null when the server's output was not captured.
    Q_INVOKABLE QVariant serverLogSelection(const QString& key) const;
    // Reads a fresh preview for the server's captured log, if it has one.
    Q_INVOKABLE void refreshServerPreview(const QString& key);
    // The group row: opens the session that answered HTTP, else the first one.
    Q_INVOKABLE void openAgentBrowserGroup();

    // Saved rows, by project path.
    Q_INVOKABLE void startProject(const QString& path);
    Q_INVOKABLE void revealProject(const QString& path);
    Q_INVOKABLE void forgetProject(const QString& path);
    Q_INVOKABLE QVariant projectLogSelection(const QString& path) const;
    Q_INVOKABLE void refreshProjectPreview(const QString& path);

    // Row looks that depend on the view's own hover and confirmation flags.
    Q_INVOKABLE QColor serverRowBackground(const QString& kind, bool paused, bool hovering, bool confirming) const;
    Q_INVOKABLE QVariantMap serverAccentBar(const QString& kind, bool live, bool hovering, bool confirming) const;
    Q_INVOKABLE QColor groupRowBackground(bool hovering) const;
    Q_INVOKABLE QVariantMap groupAccentBar(bool hovering) const;
    Q_INVOKABLE QColor savedRowBackground(bool hovering, bool confirming, const QColor& primaryInk) const;
    Q_INVOKABLE QVariantMap savedAccentBar(const QString& kind, bool hovering, bool confirming) const;
    Q_INVOKABLE bool isServerRevealed(bool hovering, bool confirming, bool hasPending) const;
    Q_INVOKABLE bool savedControlsShown(bool hovering, bool confirming, bool isStarting) const;

    // A row's view state, by key; keys that are not listed are ignored.
    Q_INVOKABLE bool hasAppeared(const QString& key) const;
    Q_INVOKABLE void markAppeared(const QString& key);
    Q_INVOKABLE void setConfirming(const QString& key, bool confirming);
    // Whether a press at `point` (in the row's action area) goes to the row's actions; remembered when it does.
    // The strip and the confirmation swap places under the pointer, so the second press of a double click
    // would land on what took the first one's place (a Start under Cancel, the confirm under the kill
    // button): a press near the one before, soon after the swap it made, is refused.
    Q_INVOKABLE bool acceptActionPress(const QString& key, QPointF point);

Q_SIGNALS:
    void storeChanged();
    void groupAgentBrowserSessionsChanged();
    void runtimeFilterChanged();
    void expandedSavedBucketIDsChanged();
    void availableHeightChanged();
    void revealHelpTextChanged();
    void contentChanged();
    void isScanningChanged();
    void swapGuardIntervalChanged();
    void swapGuardDistanceChanged();

private:
    MenuContentInput makeInput() const;
    void apply(QList<ServerListRow> rows);
    void removeMissing(const QSet<QString>& kept);
    void moveCommon(const QStringList& target);
    void insertNew(const QList<ServerListRow>& rows);
    qsizetype rowOf(const QString& key) const;
    std::optional<LocalServer> currentServer(const QString& key) const;
    std::optional<RememberedProject> currentProject(const QString& path) const;
    QVariant rowData(const ServerListRow& row, int role) const;

    QPointer<ServerStore> m_store;
    QList<QMetaObject::Connection> m_storeConnections;
    bool m_groupAgentBrowserSessions = true;
    QString m_runtimeFilter;
    QStringList m_expandedSavedBucketIDs;
    qreal m_availableHeight = 900;
    QString m_revealHelpText;
    const Clock* m_clock = nullptr;
    QString m_home;
    bool m_complete = true;
    bool m_isScanning = false;

    MenuContentSnapshot m_snapshot;
    QList<ServerListRow> m_rows;

    // Removing a row removes its entry.
    RowViewStates m_viewStates;
};
