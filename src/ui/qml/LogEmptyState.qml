import QtQuick
import Porthive

// What the log area shows instead of log text: a symbol, a title and a note that wraps, centred in at least
// 160 points of height.
Item {
    id: state

    property string systemImage
    property string title
    property string note

    implicitWidth: 200
    implicitHeight: Math.max(160, stack.implicitHeight)

    Column {
        id: stack
        anchors.centerIn: parent
        width: parent.width - 48
        spacing: 7

        Symbol {
            anchors.horizontalCenter: parent.horizontalCenter
            name: state.systemImage
            size: 16
            font.weight: Font.DemiBold
            color: Theme.tertiaryInk
        }
        PlainLabel {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: state.title
            size: 12
            weight: Font.DemiBold
        }
        PlainLabel {
            width: parent.width
            horizontalAlignment: Text.AlignHCenter
            text: state.note
            size: 10.5
            color: Theme.secondaryInk
            wrapMode: Text.Wrap
            maximumLineCount: 4
            elide: Text.ElideNone
        }
    }
}
