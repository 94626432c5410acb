import QtQuick
import QtTest
import Porthive
import PorthiveTest

// The list page over a store with fake services: what the user sees and does in it.
Item {
    id: root

    width: 400
    height: 900

    QtObject {
        id: settings
        property bool groupAgentBrowserSessions: true
    }

    Component {
        id: rigComponent
        ListRig {}
    }
    Component {
        id: stateComponent
        WindowState {}
    }
    Component {
        id: hostComponent
        ListHost {
            width: 400
        }
    }
    Component {
        id: richTextComponent
        Text {
            textFormat: Text.RichText
        }
    }

    TestCase {
        id: testCase

        name: "ServerList"
        when: windowShown

        property ListRig rig
        property WindowState windowState
        property ListHost host

        function init() {
            rig = createTemporaryObject(rigComponent, root)
            windowState = createTemporaryObject(stateComponent, root, {context: rig.context})
            host = createTemporaryObject(hostComponent, root, {store: rig.store, settings: settings,
                                                               windowState: windowState, context: rig.context})
            verify(rig && windowState && host)
            // The pointer starts outside the list.
            mouseMove(root, 399, 899)
        }

        function list() {
            return findChild(host, "serverList")
        }

        // The delegate that shows the row of `key`, or null while none does.
        function rowFor(key) {
            const items = list().contentItem.children
            for (let i = 0; i < items.length; ++i) {
                if (items[i].key === key)
                    return items[i]
            }
            return null
        }

        // Waits until the row of `key` is shown and laid out, and returns it.
        function row(key) {
            tryVerify(() => rowFor(key) !== null, 3000, "no row " + key)
            waitForRendering(host)
            return rowFor(key)
        }

        function delegateCount() {
            let count = 0
            const items = list().contentItem.children
            for (let i = 0; i < items.length; ++i) {
                if (items[i].key !== undefined)
                    ++count
            }
            return count
        }

        function vite(pid, port) {
            return {pid: pid, port: port, kind: "vite", path: "/work/web" + pid, http: 200}
        }

        function test_killConfirmationSurvivesARefresh() {
            rig.scan([vite(20, 5173)])
            let row = testCase.row("20:5173")
            mouseClick(findChild(row, "killSegment"))
            verify(row.confirmingKill)
            tryCompare(findChild(row, "killConfirmation"), "opacity", 1)
            verify(!findChild(row, "serverActions").visible)

            // A next server sorts in before it, and the scan finds the vite server as it was.
            rig.scan([{pid: 10, port: 4000, kind: "next", path: "/work/app"}, vite(20, 5173)])
            tryVerify(() => rowFor("10:4000") !== null)
            compare(rowFor("20:5173"), row)
            verify(row.confirmingKill)
            // The rows have moved apart before the pointer goes near them.
            tryVerify(() => rowFor("10:4000").y + rowFor("10:4000").height <= row.y)

            // The pointer moves away and back: the confirmation stands, and the row's body opens nothing.
            mouseMove(root, 399, 899)
            verify(row.confirmingKill)
            mouseClick(findChild(row, "serverBody"))
            compare(rig.openedURLs, [])
            verify(row.confirmingKill)

            // Confirming sends one force kill, however often the button is hit.
            const confirm = findChild(findChild(row, "killConfirmation"), "confirmSegment")
            mouseClick(confirm)
            mouseClick(confirm)
            verify(!row.confirmingKill)
            tryVerify(() => rig.count("forceTerminate") === 1)
            compare(rig.operations.filter(operation => operation === "forceTerminate").length, 1)
        }

        function test_cancelEndsTheConfirmation() {
            rig.scan([vite(20, 5173)])
            const row = testCase.row("20:5173")
            mouseClick(findChild(row, "killSegment"))
            tryCompare(findChild(row, "killConfirmation"), "opacity", 1)
            mouseClick(findChild(findChild(row, "killConfirmation"), "cancelSegment"))
            verify(!row.confirmingKill)
            // Without the confirmation, the body opens the server again.
            mouseClick(findChild(row, "serverBody"))
            compare(rig.openedURLs, ["http://localhost:5173/"])
            compare(rig.count("forceTerminate"), 0)
        }

        function test_aServerThatLeavesTakesItsConfirmation() {
            rig.scan([vite(20, 5173)])
            mouseClick(findChild(testCase.row("20:5173"), "killSegment"))
            rig.scan([])
            tryVerify(() => rowFor("20:5173") === null)
            rig.scan([vite(20, 5173)])
            tryVerify(() => rowFor("20:5173") !== null)
            verify(!rowFor("20:5173").confirmingKill)
        }

        function test_forgetConfirmationSurvivesARefresh() {
            rig.remember([{path: "/work/web", kind: "vite"}, {path: "/work/api"}])
            let row = testCase.row("/work/web")
            mouseMove(row, 40, 18)
            tryVerify(() => row.controlsShown)
            mouseClick(findChild(row, "forgetSegment"))
            verify(row.confirmingForget)
            tryCompare(findChild(row, "forgetConfirmation"), "opacity", 1)

            // A refresh that lists a new server and saves another project leaves the row and its question.
            rig.scan([{pid: 30, port: 3000, path: "/work/shop"}])
            rig.remember([{path: "/work/blog", kind: "next"}])
            compare(rowFor("/work/web"), row)
            verify(row.confirmingForget)
            mouseMove(root, 399, 899)
            verify(row.confirmingForget)
            verify(row.controlsShown)

            mouseClick(findChild(findChild(row, "forgetConfirmation"), "confirmSegment"))
            tryVerify(() => rowFor("/work/web") === null)
            verify(rowFor("/work/api") !== null)
        }

        // The rows whose strip gives way to a confirmation: a saved project's Forget, a server's Kill.
        function confirmationRows_data() {
            return [{tag: "saved row", key: "/work/web", opener: "forgetSegment", confirmation: "forgetConfirmation",
                     reveal: "revealPath"},
                    {tag: "server row", key: "20:5173", opener: "killSegment", confirmation: "killConfirmation",
                     reveal: "revealProject"}]
        }

        // A saved project and a server with a captured log, so that every segment under a confirmation acts.
        function listBothRows() {
            rig.scan([vite(20, 5173)])
            rig.remember([{path: "/work/web", kind: "vite"}])
            rig.capture("/work/web20", "ready in 300 ms")
            rig.capture("/work/web", "ready in 200 ms")
        }

        // The row with its strip shown, the pointer over it.
        function shownRow(key) {
            const shown = testCase.row(key)
            mouseMove(shown, 40, shown.height / 2)
            tryVerify(() => shown.controlsShown === undefined || shown.controlsShown)
            return shown
        }

        function test_doubleClickOnCancelActsOnce_data() {
            return confirmationRows_data()
        }

        function test_doubleClickOnCancelActsOnce(data) {
            listBothRows()
            const row = shownRow(data.key)
            tryVerify(() => findChild(row, "outputSegment").enabled)
            mouseClick(findChild(row, data.opener))
            const confirmation = findChild(row, data.confirmation)
            tryCompare(confirmation, "opacity", 1)

            // The strip comes back under the pointer between the two clicks; the second one is Cancel's own.
            mouseDoubleClickSequence(findChild(confirmation, "cancelSegment"))
            verify(!row.confirming)
            verify(!windowState.hasSelectedLog)
            verify(!row.isStarting && !row.hasPending)
            // Once the reveal is recorded, a start or restart from the double click would be too.
            mouseClick(findChild(row, "revealSegment"))
            tryCompare(rig, "operations", [data.reveal])
            verify(!windowState.hasSelectedLog)
        }

        function test_doubleClickOnADestructiveButtonOnlyAsks_data() {
            return confirmationRows_data()
        }

        function test_doubleClickOnADestructiveButtonOnlyAsks(data) {
            listBothRows()
            const row = shownRow(data.key)
            const rows = list().count
            const opener = findChild(row, data.opener)
            const at = opener.mapToItem(row, opener.width / 2, opener.height / 2)
            mouseClick(row, at.x, at.y)
            // The confirmation opens under the pointer, and the second click of the double click comes while it
            // fades in: it does not confirm.
            const confirmation = findChild(row, data.confirmation)
            tryVerify(() => confirmation.visible)
            mouseClick(row, at.x, at.y)
            verify(row.confirming)
            compare(list().count, rows)
            verify(!row.hasPending)
            compare(rig.operations, [])
        }

        function test_rowScrolledOutAndBackKeepsItsState_data() {
            return [{tag: "saved row", key: "/work/app0", opener: "forgetSegment", confirmation: "forgetConfirmation",
                     strip: "projectActions"},
                    {tag: "server row", key: "20:5173", opener: "killSegment", confirmation: "killConfirmation",
                     strip: "serverActions"}]
        }

        function test_rowScrolledOutAndBackKeepsItsState(data) {
            const projects = []
            for (let i = 0; i < 200; ++i)
                projects.push({path: "/work/app" + i})
            rig.scan([vite(20, 5173)])
            rig.remember(projects)
            windowState.toggleBucketExpansion("Today")
            tryCompare(list(), "count", 204)
            const row = shownRow(data.key)
            mouseClick(findChild(row, data.opener))
            tryCompare(findChild(row, data.confirmation), "opacity", 1)
            tryCompare(findChild(row, "rowAppear"), "opacity", 1)
            mouseMove(root, 399, 899)

            list().positionViewAtEnd()
            tryVerify(() => rowFor(data.key) === null)
            list().positionViewAtBeginning()
            tryVerify(() => rowFor(data.key) !== null)
            // A new view of the same row: shown at once, with its question still open.
            const again = rowFor(data.key)
            const appear = findChild(again, "rowAppear")
            compare(appear.opacity, 1)
            verify(!appear.animating)
            verify(again.confirming)
            compare(findChild(again, data.confirmation).opacity, 1)
            verify(!findChild(again, data.strip).visible)
        }

        function test_doubleClickStartsTheProject() {
            rig.remember([{path: "/work/web", kind: "vite"}])
            const row = testCase.row("/work/web")
            mouseDoubleClickSequence(row, 60, 18)
            tryVerify(() => rig.count("startProject") === 1)
        }

        function test_startingThenFailedTags() {
            rig.remember([{path: "/work/web", kind: "vite"}])
            const row = testCase.row("/work/web")
            const tag = findChild(row, "projectTag")
            verify(!tag.visible)
            rig.holdLaunches = true
            rig.failStartsWith(1)
            mouseMove(row, 60, 18)
            tryVerify(() => row.controlsShown)
            mouseClick(findChild(row, "startSegment"))
            tryVerify(() => tag.visible)
            compare(tag.text, "Starting")
            verify(tag.spinning)
            compare(tag.color, Theme.amber)
            verify(!findChild(row, "startSegment").enabled)
            verify(!findChild(row, "forgetSegment").enabled)

            rig.releaseLaunches()
            tryCompare(tag, "text", "Launch failed (1) \u2014 o\u2026")
            verify(!tag.spinning)
            compare(tag.color, Theme.red)
            verify(findChild(row, "startSegment").enabled)
        }

        function test_singleClickStartsNothing() {
            rig.remember([{path: "/work/web", kind: "vite"}])
            mouseClick(testCase.row("/work/web"), 60, 18)
            // The project's reveal goes through the same fake: once it is recorded, a start would be too.
            mouseMove(testCase.row("/work/web"), 60, 18)
            tryVerify(() => rowFor("/work/web").controlsShown)
            mouseClick(findChild(rowFor("/work/web"), "revealSegment"))
            tryCompare(rig, "operations", ["revealPath"])
        }

        function test_hiddenActionsCannotBeReachedWithTab() {
            rig.remember([{path: "/work/web", kind: "vite"}, {path: "/work/api"}])
            const row = testCase.row("/work/api")
            verify(!row.controlsShown)
            const segments = ["startSegment", "outputSegment", "revealSegment", "forgetSegment"]

            const reached = () => {
                const names = []
                host.forceActiveFocus()
                for (let i = 0; i < 12; ++i) {
                    keyClick(Qt.Key_Tab)
                    const item = root.Window.window.activeFocusItem
                    if (item)
                        names.push(item.objectName)
                }
                return names
            }
            for (const name of reached())
                verify(segments.indexOf(name) < 0, name + " took focus while hidden")

            // Shown, the strip is part of the Tab chain again.
            mouseMove(row, 40, 18)
            tryVerify(() => row.controlsShown)
            verify(reached().indexOf("startSegment") >= 0)
        }

        function test_filterRailWithTwoKinds() {
            rig.scan([vite(20, 5173), vite(21, 5174)])
            row("21:5174")
            const rail = findChild(host, "filterRail")
            verify(!rail.visible)
            verify(!findChild(host, "filterRule").visible)

            rig.scan([vite(20, 5173), {pid: 40, port: 3000, kind: "node", path: "/work/api"}])
            verify(rail.visible)
            waitForRendering(host)
            verify(findChild(host, "filterRule").visible)
            const viteChip = findChild(rail, "chip-vite")
            const allChip = findChild(rail, "chip-all")
            verify(viteChip && allChip && findChild(rail, "chip-node"))
            verify(allChip.selected)

            mouseClick(viteChip)
            compare(windowState.runtimeFilter, "vite")
            verify(viteChip.selected)
            verify(!allChip.selected)
            tryVerify(() => rowFor("40:3000") === null)
            verify(rowFor("20:5173") !== null)

            // A second click on the selected chip clears the filter.
            mouseClick(viteChip)
            compare(windowState.runtimeFilter, "")
            verify(allChip.selected)
            tryVerify(() => rowFor("40:3000") !== null)
        }

        function test_manySavedProjectsCreateFewDelegates() {
            const projects = []
            for (let i = 0; i < 200; ++i)
                projects.push({path: "/work/app" + i})
            rig.remember(projects)
            windowState.toggleBucketExpansion("Today")
            // Header, 200 rows and the disclosure row.
            tryCompare(list(), "count", 202)
            compare(list().height, 710)
            waitForRendering(list())
            verify(delegateCount() > 10)
            verify(delegateCount() < 60, delegateCount() + " delegates")

            // Scrolling creates the rows that come into view and lets the others go.
            list().positionViewAtEnd()
            waitForRendering(list())
            tryVerify(() => rowFor("Today-disclosure") !== null)
            verify(rowFor("/work/app0") === null)
            verify(delegateCount() < 60)
        }

        function test_markupShowsLiterallyAndFetchesNothing() {
            const image = path => "<img src=\"" + Loopback.baseUrl + path + "\" width=8 height=8>"
            const title = "<b>Dash</b>" + image("/title.png")
            const command = "node " + image("/command.png") + " server.js"
            rig.scan([{pid: 50, port: 8080, kind: "node", title: title, cwd: "/work/<i>x",
                       parent: image("/parent.png"), command: command}])
            // A folder name cannot hold a slash, so it carries markup without an address.
            rig.remember([{path: "/work/<u>web", kind: "vite", command: command}])

            const server = testCase.row("50:8080")
            const serverTitle = findChild(server, "serverTitle")
            compare(serverTitle.text, title)
            compare(serverTitle.textFormat, Text.PlainText)
            compare(findChild(server, "serverLocation").text, "<i>x")

            const saved = testCase.row("/work/<u>web")
            compare(findChild(saved, "projectTitle").text, "<u>web")
            compare(findChild(saved, "projectTitle").textFormat, Text.PlainText)
            compare(findChild(saved, "projectCommand").text, command)
            compare(findChild(saved, "projectCommand").textFormat, Text.PlainText)

            // Hovering shows the tooltips that carry the command and the parent.
            mouseMove(server, 60, 40)
            const detailTip = findChild(server, "detailToolTip")
            tryVerify(() => detailTip.opened, 3000)
            compare(detailTip.contentItem.textFormat, Text.PlainText)
            verify(detailTip.text.indexOf(image("/parent.png")) >= 0)
            mouseMove(saved, 60, 18)
            const rowTip = findChild(saved, "rowToolTip")
            tryVerify(() => rowTip.opened, 3000)
            verify(rowTip.text.indexOf(image("/command.png")) >= 0)

            // A view that renders markup fetches its image: once that request arrived, the list has had every
            // chance to make its own.
            const rich = createTemporaryObject(richTextComponent, testCase, {text: image("/control.png")})
            verify(rich)
            tryVerify(() => Loopback.requestedPaths().indexOf("/control.png") >= 0, 5000)
            compare(Loopback.requestedPaths(), ["/control.png"])
        }

        // The saved row reads which port Start will use, and no tooltip shows a piece of a secret value.
        function test_givenVariablesShowInFrontOfTheCommand() {
            const environment = {PORT: "4321", DB_PASSWORD: "correct horse battery staple",
                                 DATABASE_URL: "postgresql://h/app?user=app&password=hunter2"}
            rig.scan([{pid: 70, port: 4321, kind: "node", path: "/work/shop", command: "node server.js",
                       environment: environment}])
            rig.remember([{path: "/work/mail", kind: "node", command: "npm run dev", environment: {PORT: "4010"}},
                          {path: "/work/blog", kind: "node", command: "npm run dev", environment: environment}])
            const secrets = ["correct", "horse", "staple", "hunter2", "user=app"]

            const mail = testCase.row("/work/mail")
            const command = findChild(mail, "projectCommand")
            compare(command.text, "PORT=4010 npm run dev")
            // Shown whole in the row, not cut.
            verify(!command.truncated)
            compare(findChild(testCase.row("/work/blog"), "projectCommand").text,
                    "DATABASE_URL=<redacted> DB_PASSWORD=<redacted> PORT=4321 npm run dev")

            const server = testCase.row("70:4321")
            mouseMove(server, 60, 40)
            const detailTip = findChild(server, "detailToolTip")
            tryVerify(() => detailTip.opened, 3000)
            verify(detailTip.text.split("\n").indexOf(
                       "Command: DATABASE_URL=<redacted> DB_PASSWORD=<redacted> PORT=4321 node server.js") >= 0,
                   detailTip.text)
            const blog = testCase.row("/work/blog")
            mouseMove(blog, 60, 18)
            const rowTip = findChild(blog, "rowToolTip")
            tryVerify(() => rowTip.opened, 3000)
            compare(rowTip.text.split("\n")[1], "DATABASE_URL=<redacted> DB_PASSWORD=<redacted> PORT=4321 npm run dev")
            for (const secret of secrets) {
                verify(detailTip.text.indexOf(secret) < 0, secret)
                verify(rowTip.text.indexOf(secret) < 0, secret)
            }
        }

        function test_groupedSessionsOpenTheAnsweringOne() {
            rig.scan([{pid: 60, port: 9222, kind: "agentBrowser", cwd: "/work/shop"},
                      {pid: 61, port: 9223, kind: "agentBrowser", http: 200},
                      {pid: 62, port: 3000, kind: "node", path: "/work/api"}])
            const group = testCase.row("agent-browser-group")
            verify(group.y > testCase.row("62:3000").y)
            compare(findChild(group, "sessionsTag").text, "2 sessions")
            mouseClick(group)
            compare(rig.openedURLs, ["http://localhost:9223/"])

            settings.groupAgentBrowserSessions = false
            tryVerify(() => rowFor("60:9222") !== null && rowFor("61:9223") !== null)
            tryVerify(() => rowFor("agent-browser-group") === null)
            settings.groupAgentBrowserSessions = true
        }

        function test_pausedAndPendingTags() {
            rig.scan([vite(20, 5173), {pid: 21, port: 5174, kind: "vite", path: "/work/b", paused: true}])
            const paused = testCase.row("21:5174")
            verify(findChild(paused, "pausedTag").visible)
            verify(!findChild(rowFor("20:5173"), "pausedTag").visible)

            rig.holdScans = true
            mouseClick(findChild(testCase.row("20:5173"), "pauseResumeSegment"))
            const row = rowFor("20:5173")
            verify(findChild(row, "pendingTag").visible)
            // The refresh after the signal waits on its scan, so the mark stays.
            tryVerify(() => rig.waitingScans() === 1)
            verify(findChild(row, "pendingTag").visible)
            compare(findChild(row, "pendingTag").text, "Pausing")
            verify(findChild(row, "pausedTag").visible)
            verify(!findChild(row, "pauseResumeSegment").enabled)
            verify(!findChild(row, "killSegment").enabled)
            verify(row.revealed)
            rig.scan([vite(20, 5173), {pid: 21, port: 5174, kind: "vite", path: "/work/b", paused: true}])
            tryVerify(() => !findChild(row, "pendingTag").visible)
        }

        function test_rowFollowsItsServer() {
            rig.scan([{pid: 20, port: 5173, kind: "vite", path: "/work/web"}])
            const row = testCase.row("20:5173")
            const http = findChild(row, "httpTag")
            compare(http.look.text, "no http")
            verify(!findChild(row, "connections").visible)
            verify(!findChild(row, "serverLocation").visible)

            rig.scan([{pid: 20, port: 5173, kind: "vite", path: "/work/web", http: 200, connections: 12,
                       cwd: "/work/web/apps/site"}])
            compare(rowFor("20:5173"), row)
            tryVerify(() => http.look.text === "200")
            verify(findChild(row, "connections").visible)
            compare(findChild(row, "serverLocation").text, "site")
            compare(findChild(row, "serverPort").text, ":5173")
        }

        function test_outputSegmentOpensTheLog() {
            rig.scan([vite(20, 5173)])
            const row = testCase.row("20:5173")
            verify(!findChild(row, "outputSegment").enabled)
            rig.capture("/work/web20", "ready in 300 ms")
            tryVerify(() => findChild(row, "outputSegment").enabled)
            mouseClick(findChild(row, "outputSegment"))
            verify(windowState.hasSelectedLog)
        }

        function test_emptyOverallShowsTheEmptyState() {
            verify(findChild(host, "emptyState").visible)
            verify(!findChild(host, "serverList").visible)
            rig.scan([vite(20, 5173)])
            verify(!findChild(host, "emptyState").visible)
            verify(findChild(host, "serverList").visible)
            tryCompare(host, "implicitHeight", 12 + 30 + 54)
        }
    }
}
