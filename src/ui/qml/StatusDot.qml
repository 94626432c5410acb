import QtQuick
import Porthive

// A 5 × 5 square status light; an active one glows in its own colour.
Item {
    id: dot

    property color color: Theme.secondaryInk
    property bool active: false

    implicitWidth: 5
    implicitHeight: 5

    // The glow, only while active: a soft halo reaching 2.5 points beyond the square, fading outwards (the
    // software renderer draws no blur, so it is built from two translucent rounded squares).
    Rectangle {
        anchors.centerIn: parent
        width: 10
        height: 10
        radius: 5
        color: Qt.alpha(dot.color, 0.16)
        visible: dot.active
    }
    Rectangle {
        anchors.centerIn: parent
        width: 7.5
        height: 7.5
        radius: 3
        color: Qt.alpha(dot.color, 0.3)
        visible: dot.active
    }
    Rectangle {
        anchors.fill: parent
        color: dot.color
        opacity: dot.active ? 1 : 0.9
    }
}
