import QtQuick
import Porthive

// One named symbol of the window ("terminal", "bolt.fill", ...), drawn from the bundled icon font. `size` is
// the point size the symbol stands in for: the icon font's glyphs fill their em square, so they are drawn a
// little smaller to sit like text of that size.
Text {
    id: symbol

    required property string name
    property real size: 11
    // Material glyphs fill most of their em box; this keeps them near the cap height of text of `size`.
    readonly property real glyphScale: 1.0

    text: Symbols.glyph(name)
    color: Theme.primaryInk
    font.family: Symbols.fontFamily
    font.pointSize: Theme.pointSize(size * glyphScale)
    textFormat: Text.PlainText
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    renderType: Text.QtRendering
    Accessible.ignored: true
}
