pragma Singleton
import QtQuick
import Porthive

// The window's shared colours, animation settings and type helpers. Inks follow the system palette, so a
// palette change (light to dark) redraws every binding that reads them.
QtObject {
    id: theme

    readonly property SystemPalette palette: SystemPalette {
        colorGroup: SystemPalette.Active
    }

    // The primary text colour of the current appearance and its hierarchical shades.
    readonly property color primaryInk: palette.windowText
    readonly property color secondaryInk: Qt.alpha(primaryInk, 0.55)
    readonly property color tertiaryInk: Qt.alpha(primaryInk, 0.3)

    readonly property color amber: KitStyle.amber
    readonly property color green: KitStyle.green
    readonly property color orange: KitStyle.orange
    readonly property color red: KitStyle.red
    readonly property color faintFill: Qt.alpha(primaryInk, 0.08)
    readonly property color softFill: Qt.alpha(primaryInk, 0.16)
    readonly property color mutedInk: Qt.alpha(primaryInk, 0.5)

    // Hover and press feedback: ease-out over 0.12 s. Use the QuickEase animation type, or these values.
    readonly property QtObject quickEase: QtObject {
        readonly property int duration: 120
        readonly property int type: Easing.BezierSpline
        readonly property var bezierCurve: [0.0, 0.0, 0.58, 1.0, 1.0, 1.0]
    }

    // Page switches, list changes, filter and disclosure: the motion of a spring with a response of 0.3 s and
    // a damping fraction of 0.86 (undamped period 0.3 s), as a spline through that spring's step response
    // (within 0.2 % of it; settled to 0.1 % at 0.42 s). Use the PanelSpring animation type, or these values.
    readonly property QtObject panelSpring: QtObject {
        readonly property int duration: 420
        readonly property int type: Easing.BezierSpline
        readonly property var bezierCurve: [0.0267, 0.0, 0.0533, 0.0773, 0.08, 0.1655, 0.12, 0.2978, 0.16, 0.4537,
            0.2, 0.5725, 0.2667, 0.7704, 0.3333, 0.8768, 0.4, 0.9311, 0.4833, 0.999, 0.5667, 1.0021, 0.65, 1.0044,
            0.7667, 1.0033, 0.8833, 1.0, 1.0, 1.0]
    }

    // The desktop asks for reduced motion: no row stagger, no spinning symbols, no scanner sweep.
    readonly property bool reduceMotion: MotionPreference.reduceMotion

    readonly property string monospaceFamily: Typography.monospaceFamily

    // A window in this state shows nothing, so nothing in it may keep animating (pass the attached
    // Window.visibility of an item).
    function showsWindow(visibility: int): bool {
        return visibility !== Window.Hidden && visibility !== Window.Minimized
    }

    function ink(opacity: real): color {
        return Qt.alpha(primaryInk, opacity)
    }

    // The accent colour of a runtime kind ("agentBrowser", "next", "vite", "node", "bun"), as legible() draws it.
    function accentColor(kind: string): color {
        return legible(KitStyle.runtimeAccent(kind))
    }

    // A colour that would nearly vanish on the window (the near-white next accent in a light appearance) is drawn
    // in the primary ink instead.
    function legible(tint: color): color {
        return KitStyle.legibleOn(tint, palette.window, primaryInk)
    }

    // font.pointSize for a fractional size in logical pixels (font.pixelSize only takes whole pixels).
    function pointSize(pixels: real): real {
        return Typography.pointSize(pixels)
    }
}
