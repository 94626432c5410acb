import QtQuick
import Porthive

// One named symbol of the window ("terminal", "bolt.fill", ...), drawn from the bundled icon font. `size` is
// the font size the symbol is set in, as for text.
Text {
    id: symbol

    required property string name
    property real size: 11
    // Material glyphs leave a sixth of their em square empty around the drawing; drawn a fifth larger, a
    // symbol is about as big as a symbol set in a text font of that size.
    readonly property real glyphScale: 1.2

    text: Symbols.glyph(name)
    // A name missing from the table draws nothing; say so while developing.
    function checkName() {
        if (name.length > 0 && !Symbols.contains(name))
            console.warn("no symbol named", name)
    }
    onNameChanged: checkName()
    Component.onCompleted: checkName()
    color: Theme.primaryInk
    font.family: Symbols.fontFamily
    font.pointSize: Theme.pointSize(size * glyphScale)
    textFormat: Text.PlainText
    horizontalAlignment: Text.AlignHCenter
    verticalAlignment: Text.AlignVCenter
    renderType: Text.QtRendering
    transform: Rotation {
        origin.x: symbol.width / 2
        origin.y: symbol.height / 2
        angle: Symbols.rotation(symbol.name)
    }
    Accessible.ignored: true
}
