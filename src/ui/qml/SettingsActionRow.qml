import QtQuick
import QtQuick.Templates as T
import Porthive

// A link-like row of the settings page: symbol, title and an arrow that nudges up and right on hover.
T.AbstractButton {
    id: control

    property string title
    property string systemImage
    readonly property bool hovering: hovered

    implicitHeight: 26
    implicitWidth: face.implicitWidth + 12
    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    padding: 0
    Accessible.role: Accessible.Button
    Accessible.name: title

    background: Rectangle {
        radius: 3
        color: control.hovering || control.visualFocus ? Theme.ink(0.06) : Theme.ink(0)
        Behavior on color {
            QuickEase {}
        }
    }

    contentItem: Item {
        Row {
            id: face
            anchors.fill: parent
            anchors.leftMargin: 6
            anchors.rightMargin: 6
            spacing: 8

            Symbol {
                anchors.verticalCenter: parent.verticalCenter
                width: 18
                name: control.systemImage
                size: 12
                font.weight: Font.DemiBold
                color: Theme.secondaryInk
            }
            PlainLabel {
                anchors.verticalCenter: parent.verticalCenter
                width: face.width - 18 - arrow.width - 2 * face.spacing
                text: control.title
                size: 12.5
                weight: Font.Medium
            }
        }
        Symbol {
            id: arrow
            anchors.right: parent.right
            anchors.verticalCenter: parent.verticalCenter
            anchors.verticalCenterOffset: control.hovering ? -1 : 0
            anchors.rightMargin: control.hovering ? 5 : 6
            name: "arrow.up.right"
            size: 10
            font.weight: Font.DemiBold
            color: Theme.tertiaryInk
            Behavior on anchors.verticalCenterOffset {
                QuickEase {}
            }
            Behavior on anchors.rightMargin {
                QuickEase {}
            }
        }
    }
}
