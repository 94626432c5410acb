import QtQuick
import Porthive

// The two-segment confirmation (Cancel | destructive title) that replaces a row's action strip while a
// destructive action waits for a second click. The row that shows it owns the confirming flag. It fades in
// sliding 6 points from the right when created or shown, and out the same way when `shown` turns false.
Item {
    id: cluster

    property string destructiveTitle
    property bool shown: true
    property bool appeared: false
    readonly property bool present: shown && appeared

    signal confirm
    signal cancel

    implicitWidth: segments.implicitWidth
    implicitHeight: segments.implicitHeight
    opacity: present ? 1 : 0
    visible: opacity > 0
    enabled: present
    transform: Translate {
        x: cluster.present ? 0 : 6
        Behavior on x {
            PanelSpring {}
        }
    }
    Behavior on opacity {
        PanelSpring {}
    }
    Component.onCompleted: appeared = true

    Rectangle {
        anchors.fill: parent
        radius: 2
        color: Theme.ink(0.04)
    }

    Row {
        id: segments
        anchors.centerIn: parent
        spacing: 0

        ConfirmSegment {
            objectName: "cancelSegment"
            title: "Cancel"
            onClicked: cluster.cancel()
        }
        Rectangle {
            width: 1
            height: 22
            color: Theme.softFill
        }
        ConfirmSegment {
            objectName: "confirmSegment"
            title: cluster.destructiveTitle
            color: Theme.red
            onClicked: cluster.confirm()
        }
    }

    Rectangle {
        anchors.fill: parent
        radius: 2
        color: "transparent"
        border.width: 1
        border.color: Theme.softFill
    }
}
