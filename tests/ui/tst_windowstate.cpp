#include "windowcontext.h"
#include "windowstate.h"

#include "platform/desktop/clipboard.h"
#include "support/recordinganalyticsclient.h"
#include "support/recordingworkspace.h"
#include "support/testhome.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

class NullClipboard final : public Clipboard
{
public:
    void setPlainText(const QString&) override {}
};

LogSelection selection(const QString& title)
{
    ServerLogSession session{QUuid::createUuid(), u"/work/"_s + title, QUrl::fromLocalFile(u"/tmp/x.log"_s), {}};
    return LogSelection{session, title, 3000};
}

} // namespace

class TestWindowState : public QObject
{
    Q_OBJECT

private:
    RecordingAnalyticsClient m_analytics;
    RecordingWorkspace m_workspace;
    NullClipboard m_clipboard;
    std::unique_ptr<WindowContext> m_context;
    std::unique_ptr<WindowState> m_state;

private Q_SLOTS:
    void init()
    {
        m_analytics.events.clear();
        m_context = std::make_unique<WindowContext>(m_analytics, m_workspace, m_clipboard);
        m_state = std::make_unique<WindowState>();
        m_state->setContext(m_context.get());
    }

    void startsOnTheList()
    {
        QVERIFY(!m_state->showingSettings());
        QVERIFY(!m_state->hasSelectedLog());
        QVERIFY(!m_state->selectedLogValue().isValid());
        QCOMPARE(m_state->runtimeFilter(), QString());
        QVERIFY(m_state->expandedSavedBucketIDs().isEmpty());
    }

    void showSettingsRecordsTheEventBeforeThePageChanges()
    {
        m_state->showLog(selection(u"shop"_s));
        QList<int> eventsSeenAtChange;
        const auto seen = [&] {
            eventsSeenAtChange.append(int(m_analytics.events.size()));
        };
        connect(m_state.get(), &WindowState::showingSettingsChanged, this, seen);
        connect(m_state.get(), &WindowState::selectedLogChanged, this, seen);

        m_state->showSettings();

        QCOMPARE(m_analytics.eventNames(), QList<QString>{u"porthive_settings_opened"_s});
        QCOMPARE(eventsSeenAtChange, (QList<int>{1, 1}));
        QVERIFY(m_state->showingSettings());
        QVERIFY(!m_state->hasSelectedLog());
    }

    void showSettingsWithoutAContextStillShowsThePage()
    {
        m_state->setContext(nullptr);
        m_state->showSettings();
        QVERIFY(m_state->showingSettings());
    }

    void showLogClosesSettings()
    {
        m_state->showSettings();
        const LogSelection chosen = selection(u"blog"_s);
        QSignalSpy logChanged(m_state.get(), &WindowState::selectedLogChanged);
        QVERIFY(logChanged.isValid());

        m_state->showLog(QVariant::fromValue(chosen));

        QVERIFY(!m_state->showingSettings());
        QVERIFY(m_state->hasSelectedLog());
        QCOMPARE(m_state->selectedLog(), chosen);
        QCOMPARE(m_state->selectedLogValue().value<LogSelection>(), chosen);
        QCOMPARE(logChanged.size(), 1);
    }

    void showLogIgnoresAValueThatIsNoSelection_data()
    {
        QTest::addColumn<QVariant>("value");
        QTest::newRow("empty") << QVariant();
        QTest::newRow("text") << QVariant(u"shop"_s);
        QTest::newRow("session") << QVariant::fromValue(selection(u"shop"_s).session);
    }

    void showLogIgnoresAValueThatIsNoSelection()
    {
        QFETCH(QVariant, value);
        m_state->showSettings();
        m_state->showLog(value);
        QVERIFY(!m_state->hasSelectedLog());
        QVERIFY(m_state->showingSettings());
    }

    // Escape closes the log first, then settings, and reports when there was nothing to close.
    void closeTopOverlay()
    {
        m_state->showLog(selection(u"shop"_s));
        QVERIFY(m_state->closeTopOverlay());
        QVERIFY(!m_state->hasSelectedLog());
        QVERIFY(!m_state->closeTopOverlay());

        m_state->showSettings();
        QVERIFY(m_state->closeTopOverlay());
        QVERIFY(!m_state->showingSettings());
        QVERIFY(!m_state->closeTopOverlay());
    }

    void hideSettingsAndCloseLogTouchOnlyTheirOwnPage()
    {
        m_state->showLog(selection(u"shop"_s));
        m_state->hideSettings();
        QVERIFY(m_state->hasSelectedLog());
        m_state->closeLog();
        QVERIFY(!m_state->hasSelectedLog());

        m_state->showSettings();
        m_state->closeLog();
        QVERIFY(m_state->showingSettings());
        m_state->hideSettings();
        QVERIFY(!m_state->showingSettings());
    }

    void runtimeFilterNotifiesOnlyOnChange()
    {
        QSignalSpy changed(m_state.get(), &WindowState::runtimeFilterChanged);
        QVERIFY(changed.isValid());
        m_state->selectRuntimeFilter(u"vite"_s);
        m_state->selectRuntimeFilter(u"vite"_s);
        QCOMPARE(m_state->runtimeFilter(), u"vite"_s);
        m_state->selectRuntimeFilter(QString());
        QCOMPARE(m_state->runtimeFilter(), QString());
        QCOMPARE(changed.size(), 2);
    }

    void toggleBucketExpansion()
    {
        QSignalSpy changed(m_state.get(), &WindowState::expandedSavedBucketIDsChanged);
        QVERIFY(changed.isValid());
        m_state->toggleBucketExpansion(u"Today"_s);
        m_state->toggleBucketExpansion(u"Yesterday"_s);
        QCOMPARE(m_state->expandedSavedBucketIDs(), (QStringList{u"Today"_s, u"Yesterday"_s}));
        m_state->toggleBucketExpansion(u"Today"_s);
        QCOMPARE(m_state->expandedSavedBucketIDs(), QStringList{u"Yesterday"_s});
        QCOMPARE(changed.size(), 3);
    }
};

PORTHIVE_TEST_MAIN(TestWindowState)
#include "tst_windowstate.moc"
