import QtQuick
import Porthive

// Hover and press feedback (ease-out, 0.12 s), for numbers and colours alike:
// Behavior on color { QuickEase {} }
PropertyAnimation {
    duration: Theme.quickEase.duration
    easing.type: Theme.quickEase.type
    easing.bezierCurve: Theme.quickEase.bezierCurve
}
