import QtQuick
import QtTest
import Porthive
import PorthiveTest

TestCase {
    id: testCase
    name: "SettingsPanel"
    width: 400
    height: 500
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
        id: settingsComponent
        FakeSettings {}
    }
    Component {
        id: panelComponent
        SettingsPanel {
            width: 400
        }
    }

    Component {
        id: windowComponent
        Window {
            id: pageWindow
            required property QtObject settings
            required property WindowContext context
            readonly property Item panel: windowPanel
            width: 400
            height: 500
            SettingsPanel {
                id: windowPanel
                width: 400
                settings: pageWindow.settings
                context: pageWindow.context
            }
        }
    }

    function makePanel(values) {
        const rig = make(rigComponent, testCase)
        const settings = make(settingsComponent, testCase, values || {})
        const panel = make(panelComponent, testCase, { settings: settings, context: rig.context })
        verify(panel)
        return { settings: settings, panel: panel }
    }

    function test_showingRefreshesTheStatusOnce() {
        const p = makePanel()
        compare(p.settings.calls, ["refreshLaunchAtLoginStatus"])
    }

    function test_showingTheWindowAgainRefreshesTheStatus() {
        const rig = make(rigComponent, testCase)
        const settings = make(settingsComponent, testCase)
        const window = make(windowComponent, testCase, { settings: settings, context: rig.context })
        // Made while its window is hidden, the page reads the status once the window shows.
        compare(settings.calls, [])
        window.visible = true
        tryCompare(settings, "calls", ["refreshLaunchAtLoginStatus"])

        window.visible = false
        tryCompare(window.panel, "onScreen", false)
        compare(settings.calls, ["refreshLaunchAtLoginStatus"])
        window.visible = true
        tryCompare(settings, "calls", ["refreshLaunchAtLoginStatus", "refreshLaunchAtLoginStatus"])
    }

    function test_feedback_data() {
        return [
            { tag: "requires approval hides the message", status: 1,
              message: "Licenses file is missing from the app bundle.", approval: true, shownMessage: false },
            { tag: "requires approval without a message", status: 1, message: "", approval: true,
              shownMessage: false },
            { tag: "a message", status: 3, message: "Could not turn off launch at login.", approval: false,
              shownMessage: true },
            { tag: "enabled, no message", status: 0, message: "", approval: false, shownMessage: false },
        ]
    }

    function test_feedback(data) {
        const p = makePanel({ launchAtLoginStatus: data.status, launchAtLoginMessage: data.message })
        const approval = findChild(p.panel, "approvalMessage")
        const openRow = findChild(p.panel, "openLoginItemsRow")
        const message = findChild(p.panel, "launchAtLoginMessage")
        compare(approval.visible, data.approval)
        compare(openRow.visible, data.approval)
        compare(message.visible, data.shownMessage)
        if (data.approval) {
            compare(approval.text, p.settings.approvalMessageText)
            compare(openRow.title, p.settings.openLoginItemsText)
            mouseClick(openRow)
            compare(p.settings.calls[p.settings.calls.length - 1], "openLoginItemSettings")
        }
        if (data.shownMessage)
            compare(message.text, data.message)
    }

    function test_feedbackFollowsTheSettings() {
        const p = makePanel({ launchAtLoginStatus: 3, launchAtLoginMessage: "Licenses file is missing from the app bundle." })
        const message = findChild(p.panel, "launchAtLoginMessage")
        verify(message.visible)
        p.settings.launchAtLoginStatus = 1
        verify(!message.visible)
        verify(findChild(p.panel, "approvalMessage").visible)
    }

    function test_legalGrid() {
        const p = makePanel()
        const grid = findChild(p.panel, "legalGrid")
        const rows = []
        for (let i = 0; i < grid.children.length; ++i) {
            if (grid.children[i].title !== undefined)
                rows.push(grid.children[i])
        }
        compare(rows.map(row => row.title), ["Privacy", "Terms", "EULA", "Imprint", "Licenses"])
        // Two columns 6 apart, rows 26 high and 2 apart; the last row holds only Licenses, in the first cell.
        const cell = (grid.width - 6) / 2
        compare(rows[1].x, cell + 6)
        compare(rows[2].y, 28)
        compare(rows[4].x, 0)
        compare(rows[4].y, 56)
        compare(grid.height, 82)
        verify(!grid.childAt(cell + 6 + cell / 2, 56 + 13))

        for (const row of rows)
            mouseClick(row)
        compare(p.settings.calls.slice(1), ["openLegalPage /privacy", "openLegalPage /terms", "openLegalPage /eula",
                                            "openLegalPage /imprint", "revealLicensesFile"])
    }

    function test_switchesAskAndKeepShowingTheSetting() {
        const p = makePanel({ launchAtLoginEnabled: false, groupAgentBrowserSessions: true })
        const launch = findChild(findChild(p.panel, "launchAtLoginRow"), "toggle")
        const group = findChild(findChild(p.panel, "groupSessionsRow"), "toggle")
        mouseClick(launch)
        mouseClick(group)
        compare(p.settings.calls.slice(1), ["setLaunchAtLoginEnabled true", "updateGroupAgentBrowserSessions false"])
        // The fake did not change, so the switches still show the stored values.
        verify(!launch.checked)
        verify(group.checked)
        // And they follow the settings object afterwards.
        p.settings.launchAtLoginEnabled = true
        verify(launch.checked)
    }
}
