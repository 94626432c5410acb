#include "headermodel.h"

#include "discovery/charactercut.h"
#include "support/awaittask.h"
#include "support/storerig.h"
#include "support/testhome.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;
using namespace StoreValues;

namespace {

QString repeated(const QString& unit, int times)
{
    QString text;
    for (int i = 0; i < times; ++i)
        text += unit;
    return text;
}

// "e" with a combining acute accent: one user-perceived character, two code units.
const QString accentedE = u"e\u0301"_s;
// A flag: one user-perceived character, two code points, four code units.
const QString flag = u"\U0001F1E9\U0001F1EA"_s;

} // namespace

class TestHeaderModel : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_logs;

private Q_SLOTS:
    void subtitle_data()
    {
        QTest::addColumn<RefreshState>("state");
        QTest::addColumn<int>("servers");
        QTest::addColumn<int>("saved");
        QTest::addColumn<bool>("showingSettings");
        QTest::addColumn<QString>("expected");

        const QString stale32 = repeated(u"x"_s, 32);
        const QString stale33 = repeated(u"x"_s, 33);

        QTest::newRow("settings") << RefreshState::idle() << 2 << 1 << true << u"Settings"_s;
        QTest::newRow("settings while refreshing") << RefreshState::refreshing() << 0 << 0 << true << u"Settings"_s;
        QTest::newRow("settings while failed") << RefreshState::failed(u"boom"_s) << 0 << 0 << true << u"Settings"_s;
        QTest::newRow("scanning") << RefreshState::refreshing() << 0 << 4 << false << u"Scanning\u2026"_s;
        QTest::newRow("refreshing with servers")
            << RefreshState::refreshing() << 2 << 3 << false << u"2 live \u00b7 3 saved"_s;
        QTest::newRow("idle empty") << RefreshState::idle() << 0 << 5 << false << u"No servers"_s;
        QTest::newRow("idle") << RefreshState::idle() << 12 << 0 << false << u"12 live \u00b7 0 saved"_s;
        QTest::newRow("failed") << RefreshState::failed(u"lsof timed out"_s) << 0 << 0 << false
                                << u"Error \u2014 lsof timed out"_s;
        QTest::newRow("failed with servers wins over the count")
            << RefreshState::failed(u"Project path unavailable"_s) << 3 << 0 << false
            << u"Error \u2014 Project path unavailable"_s;
        QTest::newRow("stale 32 shown whole (40)")
            << RefreshState::stale(stale32) << 1 << 0 << false << u"Stale \u2014 "_s + stale32;
        QTest::newRow("stale 33 cut to 37 and an ellipsis")
            << RefreshState::stale(stale33) << 1 << 0 << false << u"Stale \u2014 "_s + stale33.left(29) + u"\u2026"_s;
        QTest::newRow("error 33 cut") << RefreshState::failed(stale33) << 0 << 0 << false
                                      << u"Error \u2014 "_s + stale33.left(29) + u"\u2026"_s;
        QTest::newRow("combining marks: 32 shown whole") << RefreshState::stale(repeated(accentedE, 32)) << 1 << 0
                                                         << false << u"Stale \u2014 "_s + repeated(accentedE, 32);
        QTest::newRow("combining marks: 33 cut between characters")
            << RefreshState::stale(repeated(accentedE, 33)) << 1 << 0 << false
            << u"Stale \u2014 "_s + repeated(accentedE, 29) + u"\u2026"_s;
        QTest::newRow("an error carrying outside text shows none of its controls")
            << RefreshState::failed(u"cannot open /srv/\u202Egpj.exe\n\u2066x\u2069"_s) << 0 << 0 << false
            << u"Error \u2014 cannot open /srv/gpj.exe x"_s;
        QTest::newRow("flags cut between characters") << RefreshState::failed(repeated(flag, 40)) << 0 << 0 << false
                                                      << u"Error \u2014 "_s + repeated(flag, 29) + u"\u2026"_s;
    }

    void subtitle()
    {
        QFETCH(RefreshState, state);
        QFETCH(int, servers);
        QFETCH(int, saved);
        QFETCH(bool, showingSettings);
        QFETCH(QString, expected);
        QCOMPARE(HeaderModel::subtitle(state, servers, saved, showingSettings), expected);
    }

    void statusToolTip_data()
    {
        QTest::addColumn<RefreshState>("state");
        QTest::addColumn<bool>("showingSettings");
        QTest::addColumn<QString>("expected");

        const QString launchFailed = u"Launch failed (127) \u2014 open logs for details"_s;
        const QString path = u"/home/dev/code/"_s + repeated(u"deep/"_s, 60) + u"app"_s;
        QTest::newRow("a launch failure, cut in the status line, whole")
            << RefreshState::failed(launchFailed) << false << u"Error \u2014 "_s + launchFailed;
        QTest::newRow("a stale scan") << RefreshState::stale(u"lsof timed out"_s) << false
                                      << u"Stale \u2014 lsof timed out"_s;
        QTest::newRow("a long path whole") << RefreshState::failed(u"Permission denied: "_s + path) << false
                                           << u"Error \u2014 Permission denied: "_s + path;
        QTest::newRow("more than the tooltip holds")
            << RefreshState::failed(repeated(u"x"_s, 700)) << false
            << u"Error \u2014 "_s + repeated(u"x"_s, int(HeaderModel::statusToolTipLimit) - 3 - 8) + u"\u2026"_s;
        QTest::newRow("outside text shows none of its controls or hidden characters")
            << RefreshState::failed(u"cannot open /srv/\u202Egpj.exe\n\u200Bx\U000E0041"_s) << false
            << u"Error \u2014 cannot open /srv/gpj.exe x"_s;
        QTest::newRow("idle") << RefreshState::idle() << false << QString();
        QTest::newRow("refreshing") << RefreshState::refreshing() << false << QString();
        QTest::newRow("settings while failed") << RefreshState::failed(launchFailed) << true << QString();
    }

    void statusToolTip()
    {
        QFETCH(RefreshState, state);
        QFETCH(bool, showingSettings);
        QFETCH(QString, expected);
        QCOMPARE(HeaderModel::statusToolTip(state, showingSettings), expected);
    }

    // One letter with 100,000 combining marks stays within its limit in the status line and in the tooltip.
    void combiningMarkBombIsBounded()
    {
        const RefreshState state = RefreshState::failed(u"A"_s + QString(100000, QChar(0x0301)));
        const QString subtitle = HeaderModel::subtitle(state, 0, 0, false);
        QVERIFY(subtitle.startsWith(u"Error \u2014 A\u0301"_s));
        QVERIFY(subtitle.size() <= HeaderModel::subtitleLimit * cutUnitsPerCharacter);
        const QString tip = HeaderModel::statusToolTip(state, false);
        QVERIFY(tip.startsWith(u"Error \u2014 A\u0301"_s));
        QVERIFY(tip.size() <= HeaderModel::statusToolTipLimit * cutUnitsPerCharacter);
    }

    // A restart whose launch fails leaves the failure in the header: cut in the status line, whole in its
    // tooltip, and the store keeps the text as it was.
    void launchFailureIsReadInTheToolTip()
    {
        StoreRig rig(m_logs.path());
        ServerStore& store = rig.makeStore();
        const LocalServer listed = server(4242, 5173, u"/work/web"_s);
        rig.detector->servers = {listed};
        rig.refresh();
        HeaderModel model;
        model.setStore(&store);
        QCOMPARE(model.statusToolTip(), QString());

        const ServerLogSession session = rig.sessionWithLog(u"/work/web"_s, "sh: vite: not found\n");
        rig.actions->launchHandler = [session](const QString&) -> ServerLogSession {
            throw ActionError::launchFailed(127, u"sh: vite: not found"_s, session);
        };
        rig.detector->servers.clear();
        QSignalSpy changed(&model, &HeaderModel::stateChanged);
        QVERIFY(changed.isValid());
        awaitTask(store.restartServer(listed));

        const QString failure = u"Launch failed (127) \u2014 open logs for details"_s;
        QCOMPARE(store.refreshState(), RefreshState::failed(failure));
        QVERIFY(!changed.isEmpty());
        QCOMPARE(model.subtitle(), u"Error \u2014 Launch failed (127) \u2014 open lo\u2026"_s);
        QCOMPARE(model.statusToolTip(), u"Error \u2014 "_s + failure);

        model.setShowingSettings(true);
        QCOMPARE(model.statusToolTip(), QString());
    }

    void status_data()
    {
        QTest::addColumn<RefreshState>("state");
        QTest::addColumn<bool>("hasServers");
        QTest::addColumn<HeaderModel::StatusColor>("color");
        QTest::addColumn<bool>("active");

        using Color = HeaderModel::StatusColor;
        QTest::newRow("stale") << RefreshState::stale(u"m"_s) << true << Color::Orange << false;
        QTest::newRow("failed") << RefreshState::failed(u"m"_s) << false << Color::Red << false;
        QTest::newRow("failed with servers") << RefreshState::failed(u"m"_s) << true << Color::Red << false;
        QTest::newRow("idle with servers") << RefreshState::idle() << true << Color::Green << true;
        QTest::newRow("idle empty") << RefreshState::idle() << false << Color::Secondary << false;
        QTest::newRow("refreshing with servers") << RefreshState::refreshing() << true << Color::Green << true;
        QTest::newRow("refreshing empty") << RefreshState::refreshing() << false << Color::Secondary << false;
    }

    void status()
    {
        QFETCH(RefreshState, state);
        QFETCH(bool, hasServers);
        QFETCH(HeaderModel::StatusColor, color);
        QFETCH(bool, active);
        QCOMPARE(HeaderModel::statusColor(state, hasServers), color);
        QCOMPARE(HeaderModel::statusIsActive(state, hasServers), active);
    }

    // The model follows the store: refresh starts a scan without waiting for it, the count includes the saved
    // projects that are recent by the model's clock.
    void followsTheStore()
    {
        StoreRig rig(m_logs.path());
        rig.clock.set(baseTime);
        ServerStore& store = rig.makeStore();
        HeaderModel model;
        model.setClock(rig.clock);
        model.setStore(&store);
        QCOMPARE(model.subtitle(), u"No servers"_s);

        rig.detector->hold = true;
        QSignalSpy changed(&model, &HeaderModel::stateChanged);
        QVERIFY(changed.isValid());
        model.refresh();
        QCOMPARE(rig.detector->scanCount(), 1);
        QVERIFY(model.refreshing());
        QCOMPARE(model.subtitle(), u"Scanning\u2026"_s);
        QVERIFY(!changed.isEmpty());

        rig.detector->finish(1, {server(101, 3000, u"/work/shop"_s), server(102, 5173, u"/work/blog"_s)});
        QTRY_VERIFY(!model.refreshing());
        QCOMPARE(model.subtitle(), u"2 live \u00b7 0 saved"_s);
        QCOMPARE(model.statusColor(), HeaderModel::StatusColor::Green);
        QVERIFY(model.statusIsActive());

        model.refresh();
        rig.detector->finish(2, {server(101, 3000, u"/work/shop"_s)});
        QTRY_VERIFY(!model.refreshing());
        QCOMPARE(model.savedCount(), 1);
        QCOMPARE(model.subtitle(), u"1 live \u00b7 1 saved"_s);

        // Far enough on, the saved project is no longer recent.
        rig.clock.set(baseTime.addDays(400));
        model.setClock(rig.clock);
        QCOMPARE(model.subtitle(), u"1 live \u00b7 0 saved"_s);

        model.refresh();
        rig.detector->fail(3, std::runtime_error("lsof timed out"));
        QTRY_COMPARE(model.subtitle(), u"Stale \u2014 lsof timed out"_s);
        QCOMPARE(model.statusColor(), HeaderModel::StatusColor::Orange);
        QVERIFY(!model.statusIsActive());

        model.setShowingSettings(true);
        QCOMPARE(model.subtitle(), u"Settings"_s);
    }

    void withoutAStoreShowsNoServers()
    {
        HeaderModel model;
        QCOMPARE(model.subtitle(), u"No servers"_s);
        QVERIFY(!model.refreshing());
        model.refresh();
    }
};

PORTHIVE_TEST_MAIN(TestHeaderModel)
#include "tst_headermodel.moc"
