import QtQuick
import Porthive

// The last line of a Saved section that holds more projects than it shows collapsed: "Show 3 more" or
// "Show less".
PressableButtonStyle {
    id: control

    required property string key
    required property int hiddenCount
    required property bool isExpanded
    required property string disclosureText
    required property string disclosureHint

    implicitWidth: 400
    implicitHeight: 36
    height: 36
    focusPolicy: Qt.TabFocus
    Accessible.name: disclosureText
    Accessible.description: disclosureHint

    background: Rectangle {
        color: control.hovering ? Theme.ink(0.05) : "transparent"
        Behavior on color {
            QuickEase {}
        }
    }

    contentItem: Item {
        Row {
            anchors.fill: parent
            anchors.leftMargin: 12
            anchors.rightMargin: 12
            spacing: 7

            Symbol {
                id: chevron
                anchors.verticalCenter: parent.verticalCenter
                width: 20
                name: control.isExpanded ? "chevron.up" : "chevron.down"
                size: 9
                font.bold: true
                color: Theme.amber
            }
            PlainLabel {
                id: label
                objectName: "disclosureText"
                anchors.verticalCenter: parent.verticalCenter
                text: control.disclosureText
                size: 9.5
                weight: Font.DemiBold
                monospaced: true
                tracking: 0.25
                color: Theme.secondaryInk
            }
            Rectangle {
                anchors.verticalCenter: parent.verticalCenter
                width: Math.max(0, parent.width - chevron.width - label.width - 2 * parent.spacing)
                height: 1
                color: Theme.faintFill
            }
        }
    }

    HairlineRule {
        anchors.top: parent.top
        anchors.left: parent.left
        anchors.right: parent.right
        inset: 12
    }
}
