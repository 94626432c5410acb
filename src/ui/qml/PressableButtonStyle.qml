import QtQuick
import Porthive
import QtQuick.Templates as T

// The window's button: its face shrinks to 95 % while pressed (ease-out, 0.12 s), it tracks hover, and its
// `help` text is its tooltip. IconButton, ActionSegment and ConfirmSegment build on it, and so may any other
// button of the window. `clicked()` is its action.
T.AbstractButton {
    id: control

    property string help
    // Scenes and tests show the hover look without a pointer.
    property bool forceHover: false
    // The look's hover flag: the pointer is over the button, or it has keyboard focus from Tab.
    readonly property bool hovering: (hovered && enabled) || forceHover || visualFocus

    hoverEnabled: true
    focusPolicy: Qt.StrongFocus
    padding: 0
    Accessible.role: Accessible.Button
    Accessible.name: help

    scale: pressed ? 0.95 : 1.0
    Behavior on scale {
        QuickEase {}
    }

    PlainToolTip {
        objectName: "helpToolTip"
        text: control.help
        visible: control.hovered && control.help.length > 0
    }
}
