import QtQuick
import Porthive

// A 5 × 5 square status light; an active one glows in its own colour.
Item {
    id: dot

    property color color: Theme.secondaryInk
    property bool active: false

    implicitWidth: 5
    implicitHeight: 5

    // The glow: a soft halo of radius 2.5 around the square, only while active.
    Rectangle {
        anchors.centerIn: parent
        width: 10
        height: 10
        radius: 5
        color: Qt.alpha(dot.color, 0.35)
        visible: dot.active
    }
    Rectangle {
        anchors.centerIn: parent
        width: 8
        height: 8
        radius: 3
        color: Qt.alpha(dot.color, 0.45)
        visible: dot.active
    }
    Rectangle {
        anchors.fill: parent
        color: dot.color
        opacity: dot.active ? 1 : 0.9
    }
}
