import QtQuick
import QtTest
import Porthive
import PorthiveTest

// The list with the real store and detector, driven by the pointer against a real node dev server.
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
        EndToEndRig {}
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

    TestCase {
        id: testCase

        name: "ServerListEndToEnd"
        when: windowShown

        // Scans run the real tools and probe the server; starts and restarts go through a login shell.
        readonly property int patience: 90000

        property EndToEndRig rig
        property ListHost host

        function rowFor(key) {
            const list = findChild(host, "serverList")
            const items = list.contentItem.children
            for (let i = 0; i < items.length; ++i) {
                if (items[i].key === key)
                    return items[i]
            }
            return null
        }

        function row(key) {
            tryVerify(() => rowFor(key) !== null, patience, "no row " + key)
            waitForRendering(host)
            return rowFor(key)
        }

        // tryVerify that says what the store held when it gave up.
        function waitUntil(condition, what) {
            try {
                tryVerify(condition, patience, what)
            } catch (error) {
                console.warn(what + " did not happen; " + rig.describe())
                throw error
            }
        }

        function pidOf(key) {
            return parseInt(key.split(":")[0])
        }

        function test_aRealServerFromStartToSavedAndBack() {
            rig = createTemporaryObject(rigComponent, root)
            const windowState = createTemporaryObject(stateComponent, root, {context: rig.context})
            host = createTemporaryObject(hostComponent, root, {store: rig.store, settings: settings,
                                                               windowState: windowState, context: rig.context})
            verify(rig && windowState && host)
            mouseMove(root, 399, 899)

            // The server the test started appears with its port, HTTP status and title.
            const key = rig.startServer()
            verify(key.length > 0)
            rig.refresh()
            let server = row(key)
            compare(findChild(server, "serverTitle").text, rig.folderName)
            compare(findChild(server, "serverPort").text, ":" + key.split(":")[1])
            compare(findChild(server, "httpTag").look.text, "200")

            // Pause from the row: the process stops and the row reads "Paused" once the scan agrees.
            mouseClick(findChild(server, "pauseResumeSegment"))
            tryCompare(findChild(server, "pausedTag"), "visible", true)
            waitUntil(() => rig.processState(pidOf(key)) === "T", "pause")
            waitUntil(() => !findChild(server, "pendingTag").visible, "the pause mark ending")
            verify(findChild(server, "pausedTag").visible)
            compare(findChild(server, "pausedTag").text, "Paused")

            // Resume, then restart: a new process answers in the same folder.
            mouseClick(findChild(server, "pauseResumeSegment"))
            waitUntil(() => rig.processState(pidOf(key)) !== "T", "resume")
            tryVerify(() => !findChild(server, "pausedTag").visible && !findChild(server, "pendingTag").visible,
                      patience)
            mouseClick(findChild(server, "restartSegment"))
            tryVerify(() => rig.listedKey() !== "" && pidOf(rig.listedKey()) !== pidOf(key), patience)
            const restarted = rig.listedKey()
            tryVerify(() => rig.processState(pidOf(key)) === "", patience)
            server = row(restarted)

            // Force kill, confirmed inside the row: the process and its row go.
            mouseClick(findChild(server, "killSegment"))
            const confirmation = findChild(server, "killConfirmation")
            tryCompare(confirmation, "opacity", 1)
            mouseClick(findChild(confirmation, "confirmSegment"))
            tryVerify(() => rig.processState(pidOf(restarted)) === "", patience)
            tryVerify(() => rig.listedKey() === "", patience)
            tryVerify(() => rowFor(restarted) === null, patience)

            // The project is saved under "Today" and starts again from its row.
            const saved = row(rig.folder)
            verify(row("Today"))
            compare(findChild(saved, "projectTitle").text, rig.folderName)
            verify(rowFor("Today").y < saved.y)
            mouseMove(saved, 60, 18)
            tryVerify(() => saved.controlsShown)
            mouseClick(findChild(saved, "startSegment"))
            tryVerify(() => rig.listedKey() !== "", patience)
            const started = rig.listedKey()
            verify(pidOf(started) !== pidOf(restarted))
            row(started)
            tryVerify(() => rowFor(rig.folder) === null, patience)
        }
    }
}
