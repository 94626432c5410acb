import QtQuick
import Porthive

// Page switches and structural list changes: the window's spring motion.
PropertyAnimation {
    duration: Theme.panelSpring.duration
    easing.type: Theme.panelSpring.type
    easing.bezierCurve: Theme.panelSpring.bezierCurve
}
