import QtQuick
import Porthive

// The 2-point accent along a row's leading edge. Takes no pointer input.
Item {
    id: bar

    property color color: Theme.green
    // Named `shown`, not `visible`: Item.visible would skip the fade.
    property bool shown: true
    property bool dimmed: false

    implicitWidth: 2
    width: 2
    opacity: shown ? 1 : 0
    enabled: false
    Behavior on opacity {
        QuickEase {}
    }

    Rectangle {
        anchors.fill: parent
        color: Qt.alpha(Theme.legible(bar.color), bar.dimmed ? 0.45 : 1.0)
    }
}
