import QtQuick
import Porthive

// The window's text: always plain, so a page title, folder name, command line or log line holding markup
// shows it literally and never loads an address it names. Every text from outside is shown through this.
// `size` is in logical pixels and may be fractional; `weight` a Font weight; `monospaced` the fixed-width
// family; `tracking` the letter spacing; `upperCase` draws capitals.
Text {
    id: label

    property real size: 13
    property int weight: Font.Normal
    property bool monospaced: false
    property real tracking: 0
    property bool upperCase: false

    color: Theme.primaryInk
    textFormat: Text.PlainText
    // A caller cannot switch it back to a markup format.
    onTextFormatChanged: {
        if (textFormat !== Text.PlainText)
            textFormat = Text.PlainText
    }
    font.pointSize: Theme.pointSize(size)
    font.weight: weight
    font.family: monospaced ? Theme.monospaceFamily : Qt.application.font.family
    font.letterSpacing: tracking
    font.capitalization: upperCase ? Font.AllUppercase : Font.MixedCase
    elide: Text.ElideRight
    maximumLineCount: 1
    wrapMode: Text.NoWrap
}
