import QtQuick
import Porthive

// A 1-point rule across a row or the window, `inset` from both sides. Takes no pointer input.
Item {
    property bool strong: false
    property real inset: 0

    implicitHeight: 1
    height: 1
    enabled: false

    Rectangle {
        anchors.fill: parent
        anchors.leftMargin: parent.inset
        anchors.rightMargin: parent.inset
        color: parent.strong ? Theme.softFill : Theme.faintFill
    }
}
