import QtQuick
import Porthive

// The empty list's emblem: an amber tile with the bolt and, while scanning, a line gliding down and up.
Item {
    id: glyph

    property bool scanning: false
    property real side: 56
    // The sweep line is up: scanning, and the desktop does not ask for reduced motion.
    readonly property bool sweepShown: scanning && !Theme.reduceMotion
    // It glides only while its window is on screen; a hidden window starts it again from the top.
    readonly property bool sweeping: sweepLine.visible && Theme.showsWindow(Window.visibility)

    implicitWidth: side
    implicitHeight: side
    width: side
    height: side
    clip: true

    Rectangle {
        anchors.fill: parent
        radius: 3
        color: Qt.alpha(Theme.amber, 0.06)
        border.width: 1
        border.color: Qt.alpha(Theme.amber, 0.35)
    }
    Symbol {
        anchors.centerIn: parent
        name: "bolt.horizontal"
        size: 22
        font.weight: Font.DemiBold
        color: Theme.amber
    }
    Rectangle {
        id: sweepLine
        objectName: "sweepLine"

        // The line travels between 4 points inside the top and bottom edges.
        readonly property real travel: glyph.side * 0.5 - 4
        property real offset: -travel

        visible: glyph.sweepShown
        width: glyph.width
        height: 1.5
        y: (glyph.height - height) / 2 + offset
        gradient: Gradient {
            orientation: Gradient.Horizontal
            GradientStop { position: 0; color: Qt.alpha(Theme.amber, 0) }
            GradientStop { position: 0.5; color: Qt.alpha(Theme.amber, 0.8) }
            GradientStop { position: 1; color: Qt.alpha(Theme.amber, 0) }
        }

        // Each appearance starts again from the top.
        onVisibleChanged: {
            if (!visible)
                offset = -travel
        }

        SequentialAnimation on offset {
            running: glyph.sweeping
            loops: Animation.Infinite
            NumberAnimation {
                from: -sweepLine.travel
                to: sweepLine.travel
                duration: 1600
                easing.type: Easing.BezierSpline
                easing.bezierCurve: [0.42, 0, 0.58, 1, 1, 1]
            }
            NumberAnimation {
                from: sweepLine.travel
                to: -sweepLine.travel
                duration: 1600
                easing.type: Easing.BezierSpline
                easing.bezierCurve: [0.42, 0, 0.58, 1, 1, 1]
            }
        }
    }
}
