import QtQuick
import Porthive

// The caption above the Running section and above each Saved section: title, live count and a rule.
Item {
    id: header

    required property string key
    required property string title
    required property int count
    // The count is drawn in the secondary ink (saved sections) or in Theme.green (running).
    required property bool secondaryAccent

    // The count rolls to a new value instead of jumping, while the window is on screen.
    property real shownCount: count
    Behavior on shownCount {
        enabled: Theme.showsWindow(header.Window.visibility)
        PanelSpring {}
    }

    implicitWidth: 400
    implicitHeight: 30
    height: 30

    Row {
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.topMargin: 2
        spacing: 7

        PlainLabel {
            id: titleLabel
            objectName: "sectionTitle"
            anchors.verticalCenter: parent.verticalCenter
            text: header.title
            size: 9.5
            weight: Font.DemiBold
            monospaced: true
            tracking: 1.2
            upperCase: true
            color: Theme.secondaryInk
        }
        PlainLabel {
            id: countLabel
            objectName: "sectionCount"
            anchors.verticalCenter: parent.verticalCenter
            text: String(Math.round(header.shownCount))
            size: 9.5
            weight: Font.Bold
            monospaced: true
            color: header.secondaryAccent ? Theme.secondaryInk : Theme.green
        }
        Rectangle {
            anchors.verticalCenter: parent.verticalCenter
            width: Math.max(0, parent.width - titleLabel.width - countLabel.width - 2 * parent.spacing)
            height: 1
            color: Theme.faintFill
        }
    }
}
