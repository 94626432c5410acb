import QtQuick
import Porthive

// Wraps a list row so that new rows fade in and rise 3 points one after another: the row at `index` starts
// min(0.22 s, index × 18 ms) after it first appears on screen (made in a hidden window, it waits for the window)
// and takes 0.22 s (ease-out). A row appears at once when the desktop asks for reduced motion, and is never
// animated again while it stays.
Item {
    id: appear

    property int index: 0
    // The row appeared before and its view was made again (it scrolled out and back): it stands at once.
    property bool shownBefore: false
    property bool shown: false
    property bool reduceMotion: Theme.reduceMotion
    readonly property int delay: Math.min(220, index * 18)
    readonly property bool animating: rise.running
    readonly property bool onScreen: Theme.showsWindow(Window.visibility)

    implicitWidth: childrenRect.width
    implicitHeight: childrenRect.height
    opacity: 0
    transform: Translate {
        id: offset
        y: 3
    }

    SequentialAnimation {
        id: rise
        PauseAnimation {
            duration: appear.delay
        }
        ParallelAnimation {
            NumberAnimation {
                target: appear
                property: "opacity"
                to: 1
                duration: 220
                easing.type: Easing.BezierSpline
                easing.bezierCurve: Theme.quickEase.bezierCurve
            }
            NumberAnimation {
                target: offset
                property: "y"
                to: 0
                duration: 220
                easing.type: Easing.BezierSpline
                easing.bezierCurve: Theme.quickEase.bezierCurve
            }
        }
    }

    function showNow() {
        rise.stop()
        opacity = 1
        offset.y = 0
    }

    onReduceMotionChanged: {
        if (reduceMotion && rise.running)
            showNow()
    }

    function showOnce() {
        if (shown || !onScreen)
            return
        // Read first: whoever follows `shown` may record the appearance.
        const again = shownBefore
        shown = true
        if (reduceMotion || again)
            showNow()
        else
            rise.start()
    }

    onOnScreenChanged: showOnce()
    Component.onCompleted: showOnce()
}
