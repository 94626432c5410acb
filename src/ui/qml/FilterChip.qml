import QtQuick
import Porthive

// One runtime chip of the filter rail ("ALL", "VITE", ...): its colour's dot and label, filled while selected.
PressableButtonStyle {
    id: chip

    property string label
    property color color: Theme.secondaryInk
    property bool showsDot: false
    property bool selected: false

    readonly property color foreground: selected ? color : Theme.secondaryInk

    implicitWidth: content.implicitWidth + 14
    implicitHeight: 19
    height: 19
    focusPolicy: Qt.TabFocus
    Accessible.name: "Filter: " + label
    Accessible.selectable: true
    Accessible.selected: selected

    background: Rectangle {
        radius: 2
        color: chip.selected ? Qt.alpha(chip.color, 0.1) : chip.hovering ? Theme.ink(0.05) : "transparent"
        border.width: 1
        border.color: chip.selected ? Qt.alpha(chip.color, 0.45) : Theme.faintFill
        Behavior on color {
            QuickEase {}
        }
    }

    contentItem: Item {
        Row {
            id: content
            anchors.centerIn: parent
            spacing: 4

            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                visible: chip.showsDot
                width: 5
                height: 5
                color: Qt.alpha(chip.color, chip.selected ? 1.0 : 0.6)
            }
            PlainLabel {
                anchors.verticalCenter: parent.verticalCenter
                text: chip.label
                size: 9
                weight: Font.DemiBold
                monospaced: true
                tracking: 0.4
                upperCase: true
                color: chip.foreground
            }
        }
    }
}
