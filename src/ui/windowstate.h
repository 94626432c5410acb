#pragma once

#include "control/serverlogsession.h"
#include "windowcontext.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QVariant>
#include <QtQml/qqml.h>

#include <optional>

// What the window remembers while it exists: which page is up (settings, a log, or the list), the runtime
// filter and the expanded saved sections. Nothing here is persisted. At most one page is up: opening a log
// closes settings and opening settings closes the log.
class WindowState : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(bool showingSettings READ showingSettings NOTIFY showingSettingsChanged)
    Q_PROPERTY(bool hasSelectedLog READ hasSelectedLog NOTIFY selectedLogChanged)
    // A LogSelection, or an empty variant while no log is up.
    Q_PROPERTY(QVariant selectedLog READ selectedLogValue NOTIFY selectedLogChanged)
    // A runtime kind's raw string, or "" for none. Kept even while no server of that kind is listed.
    Q_PROPERTY(QString runtimeFilter READ runtimeFilter NOTIFY runtimeFilterChanged)
    // Labels of the saved sections shown whole.
    Q_PROPERTY(QStringList expandedSavedBucketIDs READ expandedSavedBucketIDs NOTIFY expandedSavedBucketIDsChanged)
    Q_PROPERTY(WindowContext* context READ context WRITE setContext NOTIFY contextChanged)

public:
    explicit WindowState(QObject* parent = nullptr);

    bool showingSettings() const { return m_showingSettings; }
    bool hasSelectedLog() const { return m_selectedLog.has_value(); }
    const std::optional<LogSelection>& selectedLog() const { return m_selectedLog; }
    QVariant selectedLogValue() const;
    QString runtimeFilter() const { return m_runtimeFilter; }
    QStringList expandedSavedBucketIDs() const { return m_expandedSavedBucketIDs; }
    WindowContext* context() const { return m_context; }
    void setContext(WindowContext* context);

    // Records the settings-opened event, then closes any log and shows settings.
    Q_INVOKABLE void showSettings();
    Q_INVOKABLE void hideSettings();
    Q_INVOKABLE void closeLog();
    // `selection` must hold a LogSelection; anything else is ignored.
    Q_INVOKABLE void showLog(const QVariant& selection);
    void showLog(const LogSelection& selection);
    // Escape: closes the log, else settings. False when there was nothing to close.
    Q_INVOKABLE bool closeTopOverlay();
    Q_INVOKABLE void selectRuntimeFilter(const QString& kind);
    Q_INVOKABLE void toggleBucketExpansion(const QString& label);

Q_SIGNALS:
    void showingSettingsChanged();
    void selectedLogChanged();
    void runtimeFilterChanged();
    void expandedSavedBucketIDsChanged();
    void contextChanged();

private:
    void setShowingSettings(bool showing);
    void setSelectedLog(std::optional<LogSelection> selection);

    bool m_showingSettings = false;
    std::optional<LogSelection> m_selectedLog;
    QString m_runtimeFilter;
    QStringList m_expandedSavedBucketIDs;
    QPointer<WindowContext> m_context;
};
