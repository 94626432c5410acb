import QtQuick
import Porthive

// A faint line between two rows of a settings group.
Item {
    implicitHeight: 3
    height: 3

    Rectangle {
        y: 1
        width: parent.width
        height: 1
        color: Theme.faintFill
    }
}
