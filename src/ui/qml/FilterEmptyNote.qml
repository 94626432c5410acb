import QtQuick
import Porthive

// What stands in the list's place when the filter leaves nothing: "No Vite servers".
Item {
    id: note

    required property string text

    implicitWidth: 400
    implicitHeight: column.implicitHeight + 52

    Column {
        id: column
        anchors.centerIn: parent
        spacing: 7

        Symbol {
            anchors.horizontalCenter: parent.horizontalCenter
            name: "line.3.horizontal.decrease"
            size: 15
            font.weight: Font.DemiBold
            color: Theme.tertiaryInk
        }
        PlainLabel {
            objectName: "filterEmptyText"
            anchors.horizontalCenter: parent.horizontalCenter
            text: note.text
            size: 12
            weight: Font.Medium
            color: Theme.secondaryInk
        }
    }
}
