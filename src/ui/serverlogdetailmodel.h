#pragma once

#include "control/serverlogsession.h"
#include "control/serverstore.h"
#include "windowcontext.h"

#include <QCoroTask>
#include <QObject>
#include <QPointer>
#include <QVariant>
#include <QtQml/qqml.h>
#include <QtQml/qqmlparserstatus.h>

#include <chrono>
#include <memory>

class LogSnapshotReading;
class Sleeper;

// The log page's state and behaviour: follows one launch session's log by re-reading its tail, reports a file
// that cannot be read, copies the shown text and reveals the raw file.
//
// Built by the page in QML with `selection`, `store` and `context`; the page's work starts once the page is
// complete and stops when the model goes. The page keeps the selection it was built with, so a window that
// clears its selection while the page leaves does not blank it. While its window is off screen the page reads
// nothing, and it reads at once when the window shows it again.
class ServerLogDetailModel : public QObject, public QQmlParserStatus
{
    Q_OBJECT
    Q_INTERFACES(QQmlParserStatus)
    QML_ELEMENT
    // A LogSelection; read when the page is complete.
    Q_PROPERTY(QVariant selection READ selection WRITE setSelection NOTIFY selectionChanged)
    Q_PROPERTY(ServerStore* store READ store WRITE setStore NOTIFY storeChanged)
    Q_PROPERTY(WindowContext* context READ context WRITE setContext NOTIFY contextChanged)
    // The page's window is on screen.
    Q_PROPERTY(bool onScreen READ isOnScreen WRITE setOnScreen NOTIFY onScreenChanged)

    Q_PROPERTY(QString displayTitle READ displayTitle NOTIFY selectionChanged)
    Q_PROPERTY(bool hasPort READ hasPort NOTIFY selectionChanged)
    // The port in decimal, empty without one.
    Q_PROPERTY(QString portText READ portText NOTIFY selectionChanged)

    Q_PROPERTY(QString text READ text NOTIFY textChanged)
    Q_PROPERTY(bool isTruncated READ isTruncated NOTIFY isTruncatedChanged)
    Q_PROPERTY(bool isFollowing READ isFollowing NOTIFY isFollowingChanged)
    Q_PROPERTY(bool copied READ copied NOTIFY copiedChanged)
    Q_PROPERTY(bool unavailable READ unavailable NOTIFY unavailableChanged)
    Q_PROPERTY(bool canCopy READ canCopy NOTIFY canCopyChanged)

    // The follow button's face.
    Q_PROPERTY(FollowFace followFace READ followFace NOTIFY followFaceChanged)
    Q_PROPERTY(QString statusLabel READ statusLabel NOTIFY followFaceChanged)
    Q_PROPERTY(QString followHelpText READ followHelpText NOTIFY followFaceChanged)
    Q_PROPERTY(bool statusDotActive READ statusDotActive NOTIFY followFaceChanged)

    Q_PROPERTY(qreal pageHeight READ pageHeight NOTIFY pageHeightChanged)
    Q_PROPERTY(qreal minimumContentHeight READ minimumContentHeight NOTIFY pageHeightChanged)
    // The identity of the end-of-log marker that following keeps in view.
    Q_PROPERTY(QString bottomID READ bottomID CONSTANT)

public:
    enum class FollowFace
    {
        Unavailable,
        Following,
        Paused
    };
    Q_ENUM(FollowFace)

    static constexpr std::chrono::milliseconds pollInterval{500};
    static constexpr std::chrono::milliseconds copyConfirmation{1500};

    // The page as the window builds it from QML.
    explicit ServerLogDetailModel(QObject* parent = nullptr);
    // A page over the given reader and sleeper; start() begins its work.
    ServerLogDetailModel(const LogSelection& selection, WindowContext& context,
                         std::shared_ptr<LogSnapshotReading> reader, std::shared_ptr<Sleeper> sleeper,
                         QObject* parent = nullptr);
    ~ServerLogDetailModel() override;

    QVariant selection() const;
    void setSelection(const QVariant& selection);
    ServerStore* store() const { return m_store; }
    void setStore(ServerStore* store);
    WindowContext* context() const { return m_context; }
    void setContext(WindowContext* context);
    bool isOnScreen() const { return m_onScreen; }
    void setOnScreen(bool onScreen);

    const LogSelection& logSelection() const { return m_selection; }
    // The selection's title as the header shows it: without the control and bidi characters of outside text.
    QString displayTitle() const;
    bool hasPort() const { return m_selection.port.has_value(); }
    QString portText() const;

    const ServerLogSnapshot& snapshot() const { return m_snapshot; }
    QString text() const { return m_snapshot.text; }
    bool isTruncated() const { return m_snapshot.isTruncated; }
    bool isFollowing() const { return m_isFollowing; }
    bool copied() const { return m_copied; }
    bool unavailable() const { return m_unavailable; }
    bool canCopy() const { return !m_unavailable && !m_snapshot.text.isEmpty(); }

    FollowFace followFace() const;
    QString statusLabel() const;
    QString followHelpText() const;
    bool statusDotActive() const { return followFace() == FollowFace::Following; }

    qreal pageHeight() const;
    qreal minimumContentHeight() const { return pageHeight() - 100; }
    QString bottomID() const;

    // The page's height on a screen whose usable height is `availableHeight`.
    static qreal pageHeightFor(qreal availableHeight);

    // The page is built: the first read starts now (or once its window is on screen), polling follows while
    // following is on. Once only.
    void start();

    Q_INVOKABLE void toggleFollowing();
    // Puts the shown text on the clipboard as plain text and confirms it for a moment; nothing without text.
    Q_INVOKABLE void copyLog();
    // Puts a selection of the log on the clipboard as plain text.
    Q_INVOKABLE void copyText(const QString& text);
    // Shows the session's file in the file browser.
    Q_INVOKABLE void revealRawLog();

    void classBegin() override {}
    void componentComplete() override;

Q_SIGNALS:
    void selectionChanged();
    void storeChanged();
    void contextChanged();
    void onScreenChanged();
    void textChanged();
    void isTruncatedChanged();
    void isFollowingChanged();
    void copiedChanged();
    void unavailableChanged();
    void canCopyChanged();
    void followFaceChanged();
    void pageHeightChanged();

private:
    // The background task: one read, then while following a read every interval after the previous one
    // ended. Ends as soon as the page goes or a newer task (`generation`) replaces it. The tasks hold the page
    // weakly and take its reader and sleeper afresh at each step, so nothing of the page outlives it.
    static QCoro::Task<> pollWhileFollowing(QPointer<ServerLogDetailModel> self, quint64 generation);
    static QCoro::Task<> reloadSnapshot(QPointer<ServerLogDetailModel> self, quint64 generation);
    static QCoro::Task<> endCopyConfirmation(QPointer<ServerLogDetailModel> self);

    bool isCurrent(quint64 generation) const { return m_pollGeneration == generation; }
    void restartPolling();
    void applySnapshot(const ServerLogSnapshot& snapshot);
    void applyReadFailure();
    void setSnapshot(ServerLogSnapshot snapshot);
    void setFollowing(bool following);
    void setUnavailable(bool unavailable);
    void setCopied(bool copied);
    // Emits the signals of the values derived from several fields, when they changed.
    void updateDerived();

    LogSelection m_selection;
    QPointer<ServerStore> m_store;
    QPointer<WindowContext> m_context;
    QMetaObject::Connection m_heightConnection;
    std::shared_ptr<LogSnapshotReading> m_reader;
    std::shared_ptr<Sleeper> m_sleeper;

    ServerLogSnapshot m_snapshot;
    bool m_isFollowing = true;
    bool m_copied = false;
    bool m_unavailable = false;

    FollowFace m_shownFace = FollowFace::Following;
    bool m_shownCanCopy = false;

    bool m_started = false;
    bool m_onScreen = true;
    // Each (re)start of the background task takes the next number; older tasks see they were replaced.
    quint64 m_pollGeneration = 0;
};
