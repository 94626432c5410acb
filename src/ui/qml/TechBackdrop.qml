import QtQuick
import Porthive

// The window's background: the desktop's window colour, slightly see-through, with the faint dot grid.
Item {
    Rectangle {
        anchors.fill: parent
        color: Qt.alpha(Theme.palette.window, 0.88)
    }
    DotGrid {
        anchors.fill: parent
        color: Theme.ink(0.05)
    }
}
