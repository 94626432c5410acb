import QtQuick
import Porthive

// The square symbol button of the header and footer: quiet until hovered, then filled and bordered.
// `loading` shows a progress spinner and wins over `spinning`, which turns the symbol.
PressableButtonStyle {
    id: control

    property string systemImage
    property int role: ButtonRole.None
    // Optional colours: null means none.
    property var tint: null
    property var foregroundOverride: null
    property bool prominent: false
    property bool loading: false
    property bool spinning: false

    readonly property var look: KitStyle.iconButton(Theme.primaryInk, role, tint, foregroundOverride, prominent,
                                                    loading, spinning, hovering)
    readonly property color foregroundColor: look.foreground
    readonly property color fillColor: look.fill
    readonly property color borderColor: look.border

    implicitWidth: 26
    implicitHeight: 26

    background: Rectangle {
        radius: 3
        color: control.fillColor
        border.width: 1
        border.color: control.borderColor
        Behavior on color {
            QuickEase {}
        }
        Behavior on border.color {
            QuickEase {}
        }
    }

    contentItem: Item {
        ActivitySpinner {
            objectName: "loadingSpinner"
            anchors.centerIn: parent
            visible: control.loading
            scale: 0.78
            color: control.foregroundColor
        }
        SpinningIcon {
            objectName: "spinningIcon"
            anchors.centerIn: parent
            visible: !control.loading && control.spinning
            systemImage: control.systemImage
            size: 11
            color: control.foregroundColor
        }
        Symbol {
            objectName: "stillSymbol"
            anchors.centerIn: parent
            visible: !control.loading && !control.spinning
            name: control.systemImage
            size: 11
            color: control.foregroundColor
            Behavior on color {
                QuickEase {}
            }
        }
    }
}
