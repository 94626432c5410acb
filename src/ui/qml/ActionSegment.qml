import QtQuick
import Porthive

// One button of a row's action strip: 27 × 22, a plain fill on hover. Disabled (itself or by an enclosing
// item) it keeps a faint glyph and shows no hover fill.
PressableButtonStyle {
    id: control

    property string systemImage
    // Announced instead of `help` when set.
    property string accessibilityLabel
    property string accessibilityHint
    property int role: ButtonRole.None
    property var tint: null
    property bool loading: false

    readonly property var look: KitStyle.actionSegment(Theme.primaryInk, enabled, loading, role, tint, hovering)
    readonly property color foregroundColor: look.foreground
    readonly property color fillColor: look.fill

    implicitWidth: 27
    implicitHeight: 22
    Accessible.name: accessibilityLabel.length > 0 ? accessibilityLabel : help
    Accessible.description: accessibilityHint

    background: Rectangle {
        color: control.fillColor
        Behavior on color {
            QuickEase {}
        }
    }

    contentItem: Item {
        ActivitySpinner {
            anchors.centerIn: parent
            visible: control.loading
            scale: 0.68
            color: control.foregroundColor
        }
        Symbol {
            anchors.centerIn: parent
            visible: !control.loading
            name: control.systemImage
            size: 10.5
            color: control.foregroundColor
            Behavior on color {
                QuickEase {}
            }
        }
    }
}
