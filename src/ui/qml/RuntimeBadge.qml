import QtQuick
import Porthive

// The square badge of a runtime kind: a tinted rounded square with the kind's symbol or letter.
Item {
    id: badge

    required property string kind
    property bool dimmed: false
    // Callers pass it; the drawing does not depend on it.
    property bool live: false
    property real side: 20

    readonly property color accent: Theme.accentColor(kind)
    readonly property var glyph: KitStyle.runtimeBadgeGlyph(kind, side)
    readonly property color glyphColor: dimmed ? Theme.secondaryInk : accent

    implicitWidth: side
    implicitHeight: side

    Rectangle {
        anchors.fill: parent
        radius: 3
        color: Qt.alpha(badge.accent, badge.dimmed ? 0.07 : 0.13)
        border.width: 1
        border.color: Qt.alpha(badge.accent, badge.dimmed ? 0.18 : 0.38)
    }

    Symbol {
        anchors.centerIn: parent
        visible: badge.glyph.symbol.length > 0
        name: badge.glyph.symbol
        size: badge.glyph.size
        color: badge.glyphColor
    }

    PlainLabel {
        objectName: "badgeLetter"
        anchors.centerIn: parent
        visible: badge.glyph.text.length > 0
        text: badge.glyph.text
        size: badge.glyph.size
        weight: badge.glyph.bold ? Font.Bold : Font.DemiBold
        monospaced: badge.glyph.monospaced
        color: badge.glyphColor
    }
}
