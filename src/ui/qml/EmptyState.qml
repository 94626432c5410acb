import QtQuick
import Porthive

// What the list shows when there is no server and no recent saved project, while scanning and after.
Item {
    id: empty

    property bool isScanning: false

    implicitWidth: column.implicitWidth + 40
    implicitHeight: column.implicitHeight + 68

    Column {
        id: column
        anchors.centerIn: parent
        width: empty.width - 40
        spacing: 14

        ScannerGlyph {
            anchors.horizontalCenter: parent.horizontalCenter
            scanning: empty.isScanning
            side: 56
        }
        Column {
            width: parent.width
            spacing: 4

            PlainLabel {
                objectName: "emptyTitle"
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: empty.isScanning ? "Scanning for servers\u2026" : "No local servers"
                size: 14
                weight: Font.Bold
            }
            PlainLabel {
                width: parent.width
                horizontalAlignment: Text.AlignHCenter
                text: "Started dev servers appear here for one-click control."
                size: 11.5
                weight: Font.Medium
                color: Theme.secondaryInk
                wrapMode: Text.Wrap
                maximumLineCount: 3
            }
        }
    }
}
