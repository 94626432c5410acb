import QtQuick
import QtTest
import Porthive
import PorthiveTest

// Outside texts (titles, folder names, command lines, errors) reach the screen only through PlainLabel and
// PlainToolTip: markup shows literally and an <img> address in it is never fetched.
TestCase {
    id: testCase
    name: "PlainText"
    when: windowShown
    // A TestCase is invisible by default, and invisible items get no hover.
    visible: true
    width: 400
    height: 300

    Component {
        id: labelComponent
        PlainLabel {}
    }
    Component {
        id: plainTextComponent
        Text {
            textFormat: Text.PlainText
        }
    }
    Component {
        id: richTextComponent
        Text {
            textFormat: Text.RichText
        }
    }
    Component {
        id: buttonComponent
        IconButton {
            systemImage: "globe"
        }
    }

    function test_markupInATitleShowsLiterally() {
        const title = "<b>Shop</b> &amp; <i>blog</i>"
        const label = createTemporaryObject(labelComponent, testCase, {text: title, size: 13})
        const reference = createTemporaryObject(plainTextComponent, testCase, {text: title})
        reference.font = label.font
        compare(label.text, title)
        compare(label.textFormat, Text.PlainText)
        // Laid out as the literal characters, tags and entity included.
        compare(label.implicitWidth, reference.implicitWidth)
        const rich = createTemporaryObject(richTextComponent, testCase, {text: title})
        rich.font = label.font
        verify(rich.implicitWidth < reference.implicitWidth - 20)
    }

    function test_aCallerCannotSwitchToMarkup() {
        const label = createTemporaryObject(labelComponent, testCase, {text: "<b>x</b>"})
        label.textFormat = Text.RichText
        compare(label.textFormat, Text.PlainText)
        label.textFormat = Text.AutoText
        compare(label.textFormat, Text.PlainText)
    }

    function test_anImageAddressIsNeverFetched() {
        const image = path => "<img src=\"" + Loopback.baseUrl + path + "\" width=8 height=8>"
        const label = createTemporaryObject(labelComponent, testCase, {text: image("/label.png") + " title"})
        const button = createTemporaryObject(buttonComponent, testCase, {x: 100, y: 100,
                                                                         help: image("/tooltip.png") + " help"})
        verify(label && button)
        // Hovering shows the tooltip with the address in its text.
        mouseMove(button, 5, 5)
        mouseMove(button, 8, 8)
        const tip = findChild(button, "helpToolTip")
        verify(tip)
        tryVerify(() => tip.opened, 3000)
        compare(tip.contentItem.textFormat, Text.PlainText)
        compare(tip.contentItem.text, image("/tooltip.png") + " help")

        // The receiver answers a view that does render markup: once its request has arrived, the plain
        // views have had every chance to make theirs.
        // (Its image cannot be decoded, which it may report after the test has ended.)
        const rich = createTemporaryObject(richTextComponent, testCase, {text: image("/control.png")})
        verify(rich)
        tryVerify(() => Loopback.requestedPaths().indexOf("/control.png") >= 0, 5000)
        compare(Loopback.requestedPaths(), ["/control.png"])
    }
}
