import QtQuick
import QtTest
import Porthive

// The log page over the real log service: what a user sees of a launch's output as it grows, pauses, is cut
// to its tail, holds markup or goes missing, and how the page leaves.
Item {
    id: root

    width: 400
    height: 560

    property var page: null
    property int backs: 0
    property int escapes: 0

    // The window's one Escape route, as the root view has it: it closes the page.
    Shortcut {
        sequence: "Escape"
        onActivated: {
            root.escapes += 1
            if (root.page)
                root.page.back()
        }
    }

    Component {
        id: pageComponent
        ServerLogDetail {
            width: 400
            store: logRig.store
            context: logRig.context
            onBack: root.backs += 1
        }
    }

    TestCase {
        name: "ServerLogDetail"
        when: windowShown

        function init() {
            root.backs = 0
            root.escapes = 0
        }

        function openPage(selection) {
            const page = createTemporaryObject(pageComponent, root, {selection: selection})
            verify(page)
            root.page = page
            return page
        }

        function part(page, name) {
            const item = findChild(page, name)
            verify(item, name)
            return item
        }

        function lines(first, count) {
            let text = ""
            for (let i = first; i < first + count; ++i)
                text += "line " + i + " of the dev server output\n"
            return text
        }

        // The end marker sits at the bottom edge of the log area.
        function atEnd(page) {
            const area = part(page, "logArea")
            const marker = part(page, "server-log-bottom")
            const bottom = marker.mapToItem(area, 0, marker.height).y
            return Math.abs(bottom - area.height) < 1
        }

        function test_followingShowsAppendedOutputAtTheEnd() {
            const selection = logRig.startSession("shop", 5173)
            const page = openPage(selection)
            const logText = part(page, "logText")
            tryCompare(part(page, "emptyState"), "visible", true)
            verify(!part(page, "truncationLabel").visible)
            verify(!part(page, "truncationTag").visible)
            compare(page.height, 520)

            let written = lines(1, 120)
            verify(logRig.append(selection, written))
            tryCompare(logText, "text", written)
            verify(logText.visible)
            verify(!part(page, "emptyState").visible)
            tryVerify(() => atEnd(page))

            written += lines(121, 40)
            verify(logRig.append(selection, lines(121, 40)))
            tryCompare(logText, "text", written)
            tryVerify(() => atEnd(page))
        }

        function test_pausedPageKeepsItsPlace() {
            const selection = logRig.startSession("shop", 5173)
            let written = lines(1, 120)
            verify(logRig.append(selection, written))
            const page = openPage(selection)
            const logText = part(page, "logText")
            const area = part(page, "logArea")
            const followButton = part(page, "followButton")
            tryCompare(logText, "text", written)
            tryVerify(() => atEnd(page))

            // Output arrives and the user pauses before the next read: the pause's own read shows it.
            written += lines(121, 40)
            verify(logRig.append(selection, lines(121, 40)))
            const position = area.contentY
            followButton.clicked()
            verify(!page.model.isFollowing)
            compare(part(page, "followLabel").text, "Paused")
            tryCompare(logText, "text", written)
            waitForRendering(page)
            compare(area.contentY, position)
            verify(!atEnd(page))

            // Resuming reads at once and brings a changed end into view.
            written += lines(161, 5)
            verify(logRig.append(selection, lines(161, 5)))
            followButton.clicked()
            verify(page.model.isFollowing)
            tryCompare(logText, "text", written)
            tryVerify(() => atEnd(page))
        }

        function test_longLogShowsItsTail() {
            const selection = logRig.startSession("shop", -1)
            verify(logRig.appendFiller(selection, 140000))
            const page = openPage(selection)
            tryCompare(part(page, "truncationLabel"), "visible", true)
            const tag = part(page, "truncationTag")
            verify(tag.visible)
            tryVerify(() => !tag.truncated)
            const logText = part(page, "logText")
            verify(logText.text.length > 0 && logText.text.length <= 131072)
            verify(logText.text.endsWith("\n"))
        }

        function test_markupShowsLiterally() {
            const selection = logRig.startSession("<i>shop</i>", 5173)
            const markup = "<b>bold</b> <img src=\"http://127.0.0.1:9/logo.png\"> &amp; <a href=\"x\">link</a>\n"
            verify(logRig.append(selection, markup))
            const page = openPage(selection)
            const logText = part(page, "logText")
            tryCompare(logText, "text", markup)
            compare(logText.length, markup.length)
            compare(logText.getText(0, logText.length), markup)
            compare(part(page, "titleLabel").text, "<i>shop</i>")
            compare(part(page, "titleLabel").textFormat, Text.PlainText)
        }

        function test_removedFileIsUnavailable() {
            const selection = logRig.startSession("shop", 5173)
            verify(logRig.remove(selection))
            const page = openPage(selection)
            tryCompare(part(page, "unavailableState"), "visible", true)
            verify(!part(page, "emptyState").visible)
            verify(!part(page, "logText").visible)
            compare(part(page, "followLabel").text, "Unavailable")
            verify(!part(page, "followButton").enabled)
            verify(!part(page, "copyButton").enabled)
            verify(!part(page, "revealButton").enabled)
        }

        function test_emptyLogCanBeRevealedNotCopied() {
            const selection = logRig.startSession("shop", 5173)
            const page = openPage(selection)
            tryCompare(part(page, "emptyState"), "visible", true)
            verify(!part(page, "copyButton").enabled)
            verify(part(page, "revealButton").enabled)
            mouseClick(part(page, "revealButton"))
            compare(logRig.revealedPaths(), [logRig.filePath(selection)])
        }

        function test_copyConfirmsThenReturns() {
            const selection = logRig.startSession("shop", 5173)
            verify(logRig.append(selection, "ready in 300 ms\n"))
            const page = openPage(selection)
            const copyButton = part(page, "copyButton")
            tryCompare(copyButton, "enabled", true)
            mouseClick(copyButton)
            compare(logRig.clipboardTexts(), ["ready in 300 ms\n"])
            compare(copyButton.title, "Copied")
            compare(copyButton.systemImage, "checkmark")
            tryCompare(copyButton, "title", "Copy", 4000)
        }

        function test_copyKeyCopiesTheSelectionAsPlainText() {
            const selection = logRig.startSession("shop", 5173)
            verify(logRig.append(selection, "ready in 300 ms\n"))
            const page = openPage(selection)
            const logText = part(page, "logText")
            tryCompare(logText, "visible", true)
            const copies = logRig.clipboardTexts().length
            logText.select(0, 5)
            keyClick(Qt.Key_C, Qt.ControlModifier)
            compare(logRig.clipboardTexts().length, copies + 1)
            compare(logRig.clipboardTexts()[copies], "ready")
            // Copying a selection is not the Copy button: no confirmation.
            compare(part(page, "copyButton").title, "Copy")
        }

        function test_titleShowsThePortInAmber() {
            const withPort = openPage(logRig.startSession("shop", 5173))
            const port = part(withPort, "portLabel")
            verify(port.visible)
            compare(port.text, ":5173")
            // Text colours are kept to 8 bits a channel.
            compare(port.color.toString(), Theme.amber.toString())

            const title = part(withPort, "titleLabel")
            tryVerify(() => title.width > 0 && !title.truncated)

            const withoutPort = openPage(logRig.startSession("storefront-admin", -1))
            verify(!part(withoutPort, "portLabel").visible)
            const alone = part(withoutPort, "titleLabel")
            tryVerify(() => alone.width > 0 && !alone.truncated)

            // A title too long for the header gives way to the port.
            const crowded = openPage(logRig.startSession("a-project-name-far-too-long-for-the-header-of-the-page", 5173))
            const longTitle = part(crowded, "titleLabel")
            const longPort = part(crowded, "portLabel")
            tryVerify(() => longTitle.truncated)
            verify(!longPort.truncated)
            verify(longPort.mapToItem(crowded, longPort.width, 0).x <= part(crowded, "followButton").mapToItem(crowded, 0, 0).x)
        }

        function test_escapeTakesTheWindowsRoute() {
            const page = openPage(logRig.startSession("shop", 5173))
            keyClick(Qt.Key_Escape)
            compare(root.escapes, 1)
            compare(root.backs, 1)

            // Also after the user selected in the log text.
            const selection = logRig.startSession("shop", 5173)
            verify(logRig.append(selection, "ready in 300 ms\n"))
            const second = openPage(selection)
            const logText = part(second, "logText")
            tryCompare(logText, "visible", true)
            mouseDrag(logText, 2, 5, 80, 0)
            verify(logText.selectedText.length > 0)
            keyClick(Qt.Key_Escape)
            compare(root.escapes, 2)
            compare(root.backs, 2)

            // And after a click gave the follow button the focus.
            mouseClick(part(second, "followButton"))
            verify(!second.model.isFollowing)
            keyClick(Qt.Key_Escape)
            compare(root.escapes, 3)
            compare(root.backs, 3)

            mouseClick(part(second, "backButton"))
            compare(root.backs, 4)
            compare(root.escapes, 3)
        }

        function test_leavingDuringAReadIsSafe() {
            const selection = logRig.startSession("shop", 5173)
            verify(logRig.append(selection, lines(1, 50)))
            for (let i = 0; i < 5; ++i) {
                const page = createTemporaryObject(pageComponent, root, {selection: selection})
                verify(page)
                page.destroy()
            }
            const page = openPage(selection)
            tryCompare(part(page, "logText"), "text", lines(1, 50))
        }
    }
}
