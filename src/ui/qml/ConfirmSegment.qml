import QtQuick
import Porthive

// One half of an inline confirmation: a capitalised monospaced title, 22 high, padded 9 on each side.
PressableButtonStyle {
    id: control

    property string title
    // Optional colour: null draws in the primary ink.
    property var color: null

    readonly property var look: KitStyle.confirmSegment(Theme.primaryInk, color, hovering)
    readonly property color foregroundColor: look.foreground
    readonly property color fillColor: look.fill

    implicitWidth: label.implicitWidth + 18
    implicitHeight: 22
    Accessible.name: title

    background: Rectangle {
        color: control.fillColor
        Behavior on color {
            QuickEase {}
        }
    }

    contentItem: Item {
        PlainLabel {
            id: label
            anchors.centerIn: parent
            text: control.title
            size: 9.5
            weight: Font.DemiBold
            monospaced: true
            tracking: 0.3
            upperCase: true
            color: control.foregroundColor
            Behavior on color {
                QuickEase {}
            }
        }
    }
}
