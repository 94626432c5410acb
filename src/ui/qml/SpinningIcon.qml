import QtQuick
import Porthive

// A symbol that turns clockwise once every 0.9 s while work is in progress and it can be seen; still at 0° when
// the desktop asks for reduced motion.
Item {
    id: icon

    required property string systemImage
    property color color: Theme.primaryInk
    property real size: 11
    property bool reduceMotion: Theme.reduceMotion
    // The current rotation in degrees.
    readonly property alias angle: glyph.rotation
    readonly property bool turning: turn.running

    implicitWidth: glyph.implicitWidth
    implicitHeight: glyph.implicitHeight

    Symbol {
        id: glyph
        anchors.centerIn: parent
        name: icon.systemImage
        size: icon.size
        color: icon.color

        NumberAnimation on rotation {
            id: turn
            from: 0
            to: 360
            duration: 900
            loops: Animation.Infinite
            running: !icon.reduceMotion && icon.visible && Theme.showsWindow(icon.Window.visibility)
            onRunningChanged: {
                if (!running)
                    glyph.rotation = 0
            }
        }
    }
}
