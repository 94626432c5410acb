import QtQuick
import QtQuick.Layouts
import Porthive

// The window's header: the mark, the product name, one status line, and the page buttons (refresh and
// settings on the list, close while the settings page is up).
Item {
    id: header

    required property ServerStore store
    property bool showingSettings: false

    signal showSettings()
    signal hideSettings()

    readonly property HeaderModel model: HeaderModel {
        store: header.store
        showingSettings: header.showingSettings
    }
    readonly property color statusColor: {
        switch (model.statusColor) {
        case HeaderModel.Green:
            return Theme.green
        case HeaderModel.Orange:
            return Theme.orange
        case HeaderModel.Red:
            return Theme.red
        default:
            return Theme.secondaryInk
        }
    }

    component SubtitleText: PlainLabel {
        size: 10
        weight: Font.Medium
        monospaced: true
        tracking: 0.4
        upperCase: true
        color: Theme.secondaryInk
    }

    implicitWidth: row.implicitWidth + 24
    implicitHeight: row.implicitHeight + 22

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.topMargin: 11
        anchors.bottomMargin: 11
        spacing: 10

        BrandMark {}

        Column {
            Layout.fillWidth: true
            Layout.minimumWidth: 0
            spacing: 3

            PlainLabel {
                width: parent.width
                text: "Porthive"
                size: 13.5
                weight: Font.Bold
                tracking: 0.2
            }
            Row {
                width: parent.width
                spacing: 6

                StatusDot {
                    anchors.verticalCenter: parent.verticalCenter
                    color: header.statusColor
                    active: header.model.statusIsActive
                }
                // The status line rolls upwards to each new text, as a counter does.
                Item {
                    id: subtitle
                    objectName: "subtitle"
                    readonly property string text: header.model.subtitle
                    property string previousText
                    property string lastText
                    anchors.verticalCenter: parent.verticalCenter
                    width: parent.width - 11
                    height: current.implicitHeight
                    clip: true

                    onTextChanged: {
                        previousText = lastText
                        lastText = text
                        // A hidden window changes its text at each poll; it shows the last one when it comes
                        // back, without rolling.
                        if (Theme.showsWindow(Window.visibility))
                            roll.restart()
                        else
                            roll.complete()
                    }
                    Component.onCompleted: lastText = text

                    // The status line is cut to one line; hovering it shows a failure whole.
                    HoverHandler {
                        id: subtitleHover
                    }
                    PlainToolTip {
                        objectName: "statusToolTip"
                        text: header.model.statusToolTip
                        visible: subtitleHover.hovered && text.length > 0
                    }

                    SubtitleText {
                        id: outgoing
                        width: parent.width
                        text: subtitle.previousText
                        visible: roll.running
                    }
                    SubtitleText {
                        id: current
                        width: parent.width
                        text: subtitle.text
                    }
                    ParallelAnimation {
                        id: roll
                        PanelSpring { target: outgoing; property: "y"; from: 0; to: -subtitle.height }
                        PanelSpring { target: outgoing; property: "opacity"; from: 1; to: 0 }
                        PanelSpring { target: current; property: "y"; from: subtitle.height; to: 0 }
                        PanelSpring { target: current; property: "opacity"; from: 0; to: 1 }
                    }
                }
            }
        }

        // The flexible gap between the titles and the buttons is at least 8 wide.
        Item {
            Layout.preferredWidth: 8
        }

        IconButton {
            objectName: "closeSettingsButton"
            visible: header.showingSettings
            systemImage: "xmark"
            help: "Close settings"
            foregroundOverride: Theme.mutedInk
            prominent: true
            Accessible.name: "Close settings"
            onClicked: header.hideSettings()
        }
        IconButton {
            objectName: "refreshButton"
            visible: !header.showingSettings
            systemImage: "arrow.clockwise"
            help: "Refresh"
            prominent: true
            spinning: header.model.refreshing
            enabled: !header.model.refreshing
            Accessible.name: "Refresh servers"
            onClicked: header.model.refresh()
        }
        IconButton {
            objectName: "settingsButton"
            visible: !header.showingSettings
            systemImage: "gearshape"
            help: "Settings"
            prominent: true
            Accessible.name: "Open settings"
            onClicked: header.showSettings()
        }
    }
}
