import QtQuick
import Porthive

// The shared colours on the window background.
Rectangle {
    width: 400
    height: 60
    color: "transparent"
    Row {
        anchors.centerIn: parent
        spacing: 8
        Repeater {
            model: [Theme.amber, Theme.green, Theme.orange, Theme.red, Theme.faintFill, Theme.softFill, Theme.mutedInk]
            Rectangle {
                required property color modelData
                width: 40
                height: 40
                radius: 3
                color: modelData
            }
        }
    }
}
