pragma Singleton
import QtQuick

// The window's shared colours and animation timings. Inks follow the system palette, so a palette change
// (light to dark) redraws every binding that reads them.
QtObject {
    readonly property SystemPalette palette: SystemPalette { colorGroup: SystemPalette.Active }

    readonly property color primaryInk: palette.windowText
    readonly property color secondaryInk: Qt.alpha(primaryInk, 0.55)

    readonly property color amber: Qt.rgba(1.0, 0.78, 0.22, 1)
    readonly property color green: Qt.rgba(0.27, 0.83, 0.46, 1)
    readonly property color orange: Qt.rgba(1.0, 0.66, 0.2, 1)
    readonly property color red: Qt.rgba(1.0, 0.38, 0.36, 1)
    readonly property color faintFill: Qt.alpha(primaryInk, 0.08)
    readonly property color softFill: Qt.alpha(primaryInk, 0.16)
    readonly property color mutedInk: Qt.alpha(primaryInk, 0.5)

    function ink(opacity: real): color {
        return Qt.alpha(primaryInk, opacity)
    }
}
