import QtQuick
import Porthive

// A footer button of the log page: a symbol before a title, a faint fill that grows a little stronger under
// the pointer (at once, no animation). `clicked()` is its action.
PressableButtonStyle {
    id: control

    property string title
    property string systemImage

    implicitWidth: face.implicitWidth + 16
    implicitHeight: 25
    Accessible.name: title
    opacity: enabled ? 1 : 0.45

    background: Rectangle {
        radius: 3
        color: Theme.ink(control.hovering ? 0.09 : 0.04)
        border.width: 1
        border.color: Theme.softFill
    }

    contentItem: Item {
        Row {
            id: face
            anchors.centerIn: parent
            spacing: 4

            Symbol {
                anchors.verticalCenter: parent.verticalCenter
                name: control.systemImage
                size: 10.5
            }
            PlainLabel {
                anchors.verticalCenter: parent.verticalCenter
                text: control.title
                size: 10.5
                weight: Font.DemiBold
            }
        }
    }
}
