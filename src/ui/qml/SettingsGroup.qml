import QtQuick
import Porthive

// A titled block of the settings page: its label in small capitals, then its rows, 9 apart.
Item {
    id: group

    property string label
    property bool showsRule: false
    default property alias content: column.data

    implicitHeight: column.implicitHeight + 22

    Column {
        id: column
        x: 12
        y: 11
        width: group.width - 24
        spacing: 9

        PlainLabel {
            width: parent.width
            text: group.label
            size: 9.5
            weight: Font.DemiBold
            monospaced: true
            tracking: 1.2
            upperCase: true
            color: Theme.tertiaryInk
        }
    }
    HairlineRule {
        anchors.bottom: parent.bottom
        width: parent.width
        visible: group.showsRule
    }
}
