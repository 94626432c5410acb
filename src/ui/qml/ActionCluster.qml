import QtQuick
import Porthive

// A row's strip of ActionSegments separated by ClusterDividers, framed while `revealed`. The segments take
// pointer and keyboard input only while the cluster can be seen: at opacity 0 (or hidden) the strip is out
// of the Tab chain and clicks fall through to the row beneath.
Item {
    id: cluster

    property bool revealed: false
    default property alias content: strip.data
    readonly property bool acceptsInput: visible && opacity > 0

    implicitWidth: strip.implicitWidth
    implicitHeight: strip.implicitHeight

    Rectangle {
        anchors.fill: parent
        radius: 2
        color: Theme.ink(0.04)
        opacity: cluster.revealed ? 1 : 0
        Behavior on opacity {
            QuickEase {}
        }
    }

    Row {
        id: strip
        anchors.centerIn: parent
        spacing: 0
        enabled: cluster.acceptsInput
    }

    Rectangle {
        anchors.fill: parent
        radius: 2
        color: "transparent"
        border.width: 1
        border.color: cluster.revealed ? Theme.softFill : "transparent"
        Behavior on border.color {
            QuickEase {}
        }
    }
}
