import QtQuick
import Porthive

// The settings page: launch at login and its feedback, session grouping, and the legal links.
// Each showing asks the settings object to read the launch-at-login status again: the page is made anew
// when it is shown, and the window showing again with the page up counts as a showing too.
Column {
    id: panel

    // The settings object: launchAtLoginEnabled, launchAtLoginStatus, launchAtLoginMessage,
    // groupAgentBrowserSessions, approvalMessageText and the calls the rows make.
    required property QtObject settings
    required property WindowContext context

    // The settings object's launch-at-login status values, in their declared order.
    readonly property int requiresApprovalStatus: 1
    readonly property bool requiresApproval: settings.launchAtLoginStatus === requiresApprovalStatus

    // The page is in a window that is on screen.
    readonly property bool onScreen: Window.window !== null && Window.window.visible
    // The window is usually found while the page is still being made; the page's completion counts then.
    property bool completed: false

    spacing: 0

    onOnScreenChanged: {
        if (completed && onScreen)
            settings.refreshLaunchAtLoginStatus()
    }
    Component.onCompleted: {
        completed = true
        if (onScreen)
            settings.refreshLaunchAtLoginStatus()
    }

    SettingsGroup {
        width: panel.width
        label: "General"
        showsRule: true

        SettingsToggleRow {
            objectName: "launchAtLoginRow"
            width: parent.width
            title: "Launch at login"
            note: "Start Porthive when you log in."
            isOn: panel.settings.launchAtLoginEnabled
            onChange: value => panel.settings.setLaunchAtLoginEnabled(value)
        }
        SettingsMessage {
            objectName: "approvalMessage"
            width: parent.width
            visible: panel.requiresApproval
            text: panel.settings.approvalMessageText
        }
        SettingsActionRow {
            objectName: "openLoginItemsRow"
            width: parent.width
            visible: panel.requiresApproval
            title: panel.settings.openLoginItemsText || "Open Login Items"
            systemImage: "gearshape"
            onClicked: panel.settings.openLoginItemSettings()
        }
        SettingsMessage {
            objectName: "launchAtLoginMessage"
            width: parent.width
            visible: !panel.requiresApproval && text.length > 0
            text: panel.settings.launchAtLoginMessage
        }
        SettingsRowDivider {
            width: parent.width
        }
        SettingsToggleRow {
            objectName: "groupSessionsRow"
            width: parent.width
            title: "Group Agent Browser sessions"
            note: "Collapse all sessions into a single row."
            isOn: panel.settings.groupAgentBrowserSessions
            onChange: value => panel.settings.updateGroupAgentBrowserSessions(value)
        }
    }

    SettingsGroup {
        width: panel.width
        label: "Legal"

        Grid {
            id: legal
            objectName: "legalGrid"
            width: parent.width
            columns: 2
            columnSpacing: 6
            rowSpacing: 2

            readonly property real cellWidth: (width - columnSpacing) / 2

            Repeater {
                model: [
                    { title: "Privacy", symbol: "hand.raised", path: "/privacy" },
                    { title: "Terms", symbol: "doc.text", path: "/terms" },
                    { title: "EULA", symbol: "doc.text", path: "/eula" },
                    { title: "Imprint", symbol: "building.2", path: "/imprint" },
                    { title: "Licenses", symbol: "doc.plaintext", path: "" }
                ]
                SettingsActionRow {
                    required property var modelData
                    width: legal.cellWidth
                    title: modelData.title
                    systemImage: modelData.symbol
                    onClicked: {
                        if (modelData.path.length > 0)
                            panel.settings.openLegalPage(modelData.path)
                        else
                            panel.settings.revealLicensesFile()
                    }
                }
            }
        }
    }
}
