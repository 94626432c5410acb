import QtQuick
import QtTest
import Porthive
import PorthiveTest

TestCase {
    id: testCase
    name: "MenuBarStatusView"
    width: 400
    height: 700
    visible: true
    when: windowShown

    // Made objects go in reverse order, so no view outlives the fakes it reads.
    property var made: []

    function make(component, parent, properties) {
        const object = component.createObject(parent, properties || {})
        made.push(object)
        return object
    }

    function cleanup() {
        MotionPreference.reduceMotion = false
        while (made.length > 0)
            made.pop().destroy()
    }

    Component {
        id: rigComponent
        ChromeRig {}
    }
    Component {
        id: settingsComponent
        FakeSettings {}
    }
    Component {
        id: updaterComponent
        FakeUpdateController {}
    }
    Component {
        id: viewComponent
        MenuBarStatusView {}
    }

    function makeWindow() {
        const rig = make(rigComponent, testCase)
        const settings = make(settingsComponent, testCase)
        const updater = make(updaterComponent, testCase)
        const view = make(viewComponent, testCase,
                                           { store: rig.store, settings: settings, updateController: updater,
                                             context: rig.context })
        verify(view)
        return { rig: rig, settings: settings, updater: updater, view: view, state: view.windowState }
    }

    function test_frame() {
        const w = makeWindow()
        compare(w.view.width, 400)
        verify(w.view.implicitHeight > 0)
        verify(findChild(w.view, "listPage").visible)
        verify(!findChild(w.view, "settingsPage").visible)
    }

    function test_escapeClosesSettingsThenIsIgnored() {
        const w = makeWindow()
        mouseClick(findChild(w.view, "settingsButton"))
        verify(w.state.showingSettings)
        compare(w.rig.eventNames, ["porthive_settings_opened"])

        keyClick(Qt.Key_Escape)
        verify(!w.state.showingSettings)
        compare(w.rig.dismissCount, 0)

        keyClick(Qt.Key_Escape)
        compare(w.rig.dismissCount, 1)
    }

    // A tooltip on screen must not take Escape from the window.
    function test_escapeWorksWhileATooltipShows() {
        const w = makeWindow()
        w.state.showSettings()
        const close = findChild(w.view, "closeSettingsButton")
        let tip = null
        for (let i = 0; i < close.data.length; ++i) {
            if (close.data[i].delay !== undefined)
                tip = close.data[i]
        }
        verify(tip)
        tryCompare(findChild(w.view, "settingsPage"), "opacity", 1)
        mouseMove(close, close.width / 2, close.height / 2)
        tryVerify(() => tip.opened)

        keyClick(Qt.Key_Escape)
        verify(!w.state.showingSettings)
    }

    function test_escapeClosesTheLogBeforeAnythingElse() {
        const w = makeWindow()
        w.state.showLog(w.rig.logSelection("shop"))
        verify(w.state.hasSelectedLog)
        tryVerify(() => findChild(w.view, "logPage").opacity === 1)

        keyClick(Qt.Key_Escape)
        verify(!w.state.hasSelectedLog)
        compare(w.rig.dismissCount, 0)
        keyClick(Qt.Key_Escape)
        compare(w.rig.dismissCount, 1)
    }

    function test_openingSettingsWhileALogIsShownClearsIt() {
        const w = makeWindow()
        w.state.showLog(w.rig.logSelection("shop"))
        mouseClick(findChild(w.view, "settingsButton"))
        verify(w.state.showingSettings)
        verify(!w.state.hasSelectedLog)
        compare(w.rig.eventNames, ["porthive_settings_opened"])
        tryCompare(findChild(w.view, "settingsPage"), "opacity", 1)
        verify(!findChild(w.view, "logPage").visible)
        verify(findChild(w.view, "launchAtLoginRow") !== null)
    }

    function test_pagesSlideAndSettle() {
        const w = makeWindow()
        const list = findChild(w.view, "listPage")
        const settings = findChild(w.view, "settingsPage")
        w.state.showSettings()
        // The list leaves to the left, settings come in from the right.
        tryCompare(list, "visible", false)
        tryCompare(settings, "x", 0)
        compare(settings.opacity, 1)
        compare(w.settings.calls, ["refreshLaunchAtLoginStatus"])

        w.state.hideSettings()
        tryCompare(settings, "visible", false)
        tryCompare(list, "x", 0)
        // A second showing asks for the status again.
        w.state.showSettings()
        compare(w.settings.calls, ["refreshLaunchAtLoginStatus", "refreshLaunchAtLoginStatus"])
    }

    function test_emptyListScans() {
        const w = makeWindow()
        const title = () => findChild(w.view, "emptyTitle")
        compare(title().text, "No local servers")
        w.rig.startScan()
        compare(title().text, "Scanning for servers\u2026")
        const sweep = findChild(w.view, "sweepLine")
        verify(sweep.visible)
        MotionPreference.reduceMotion = true
        verify(!sweep.visible)
        MotionPreference.reduceMotion = false
        verify(sweep.visible)
        w.rig.finishScan()
        tryCompare(title(), "text", "No local servers")
        verify(!sweep.visible)
    }

    function test_footer() {
        const w = makeWindow()
        const update = findChild(w.view, "updateButton")
        const quit = findChild(w.view, "quitButton")
        compare(update.Accessible.name, "Check for Updates")
        compare(quit.Accessible.name, "Quit Porthive")
        verify(update.enabled)
        mouseClick(update)
        compare(w.updater.checks, 1)

        w.updater.canCheckForUpdates = false
        verify(!update.enabled)
        verify(quit.enabled)
        mouseClick(update)
        compare(w.updater.checks, 1)

        mouseClick(quit)
        compare(w.rig.quitCount, 1)
    }
}
