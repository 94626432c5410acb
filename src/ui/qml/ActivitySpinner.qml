import QtQuick
import Porthive

// An indeterminate progress spinner at the mini control size (16 points): an open arc turning once a second,
// only while it can be seen (shown, in a window on screen), so a hidden tag or window draws no frames.
Item {
    id: spinner

    property color color: Theme.primaryInk
    property bool running: true
    readonly property bool turning: running && visible && Theme.showsWindow(Window.visibility)

    implicitWidth: 16
    implicitHeight: 16

    Canvas {
        id: arc
        anchors.fill: parent
        antialiasing: true
        onPaint: {
            const ctx = getContext("2d")
            ctx.reset()
            const line = Math.max(1.5, width / 9)
            const r = Math.min(width, height) / 2 - line
            ctx.lineWidth = line
            ctx.lineCap = "round"
            ctx.strokeStyle = spinner.color
            ctx.globalAlpha = 0.25
            ctx.beginPath()
            ctx.arc(width / 2, height / 2, r, 0, 2 * Math.PI)
            ctx.stroke()
            ctx.globalAlpha = 1.0
            ctx.beginPath()
            ctx.arc(width / 2, height / 2, r, -Math.PI / 2, Math.PI / 3)
            ctx.stroke()
        }
        Connections {
            target: spinner
            function onColorChanged() {
                arc.requestPaint()
            }
        }

        RotationAnimator on rotation {
            from: 0
            to: 360
            duration: 1000
            loops: Animation.Infinite
            running: spinner.turning
        }
    }
}
