import QtQuick
import QtTest
import Porthive
import PorthiveTest

TestCase {
    id: testCase
    name: "HeaderBar"
    width: 400
    height: 200
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
        while (made.length > 0)
            made.pop().destroy()
    }

    Component {
        id: rigComponent
        ChromeRig {}
    }
    Component {
        id: headerComponent
        HeaderBar {
            width: 400
        }
    }
    SignalSpy {
        id: showSpy
        signalName: "showSettings"
    }
    SignalSpy {
        id: hideSpy
        signalName: "hideSettings"
    }

    function makeHeader(showingSettings) {
        const rig = make(rigComponent, testCase)
        const header = make(headerComponent, testCase,
                                             { store: rig.store, showingSettings: showingSettings })
        verify(header)
        showSpy.clear()
        hideSpy.clear()
        showSpy.target = header
        hideSpy.target = header
        return { rig: rig, header: header,
                 refresh: findChild(header, "refreshButton"),
                 settings: findChild(header, "settingsButton"),
                 close: findChild(header, "closeSettingsButton"),
                 subtitle: findChild(header, "subtitle") }
    }

    function test_listButtons() {
        const h = makeHeader(false)
        verify(h.refresh.visible)
        verify(h.refresh.enabled)
        verify(!h.refresh.spinning)
        verify(h.settings.visible)
        verify(!h.close.visible)
        compare(h.refresh.Accessible.name, "Refresh servers")
        compare(h.settings.Accessible.name, "Open settings")

        mouseClick(h.settings)
        compare(showSpy.count, 1)
        compare(hideSpy.count, 0)
    }

    function test_settingsShowsOnlyClose() {
        const h = makeHeader(true)
        h.rig.startScan()
        verify(h.close.visible)
        verify(!h.refresh.visible)
        verify(!h.settings.visible)
        compare(h.close.Accessible.name, "Close settings")
        compare(h.subtitle.text, "Settings")

        mouseClick(h.close)
        compare(hideSpy.count, 1)
        compare(showSpy.count, 0)
        h.rig.finishScan()
    }

    function test_refreshSpinsAndIsDisabledWhileRefreshing() {
        const h = makeHeader(false)
        compare(h.subtitle.text, "No servers")
        h.rig.holdScans = true
        mouseClick(h.refresh)
        // The click started a scan that the rig holds open.
        verify(h.refresh.spinning)
        verify(!h.refresh.enabled)
        compare(h.subtitle.text, "Scanning\u2026")

        h.rig.finishScan()
        tryVerify(() => h.refresh.enabled)
        verify(!h.refresh.spinning)
    }

    function test_refreshingWithServersKeepsTheCount() {
        const h = makeHeader(false)
        h.rig.showServers(2)
        compare(h.subtitle.text, "2 live \u00b7 0 saved")
        h.rig.startScan()
        compare(h.subtitle.text, "2 live \u00b7 0 saved")
        verify(h.refresh.spinning)
        verify(!h.refresh.enabled)
        h.rig.finishScan()
    }

    function test_hoveringAFailureShowsItWhole() {
        const h = makeHeader(false)
        const tip = findChild(h.header, "statusToolTip")
        verify(tip)
        // Nothing to add while all is well.
        mouseMove(h.subtitle, 20, h.subtitle.height / 2)
        verify(!tip.visible)
        mouseMove(testCase, 1, testCase.height - 1)

        const failure = "Launch failed (127) \u2014 open logs for details: <b>/srv/app</b>"
        h.rig.failScan(failure)
        compare(h.subtitle.text, "Error \u2014 Launch failed (127) \u2014 open lo\u2026")
        mouseMove(h.subtitle, 20, h.subtitle.height / 2)
        tryVerify(() => tip.opened, 3000)
        compare(tip.text, "Error \u2014 " + failure)
        compare(tip.contentItem.text, "Error \u2014 " + failure)
        compare(tip.contentItem.textFormat, Text.PlainText)
        // The whole text is laid out, not elided to one line.
        verify(!tip.contentItem.truncated)
        verify(tip.contentItem.lineCount >= 1)

        mouseMove(testCase, 1, testCase.height - 1)
        tryVerify(() => !tip.visible)
    }

    function test_failedHeaderShowsTheMessage() {
        const h = makeHeader(false)
        h.rig.failScan("lsof timed out")
        compare(h.subtitle.text, "Error \u2014 lsof timed out")
        verify(h.refresh.enabled)
    }
}
