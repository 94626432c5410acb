import QtQuick
import Porthive
import PorthiveShots

// Running servers of three kinds with their details, a paused one, one restarting and three grouped
// agent-browser sessions; the first row as the pointer over it shows it.
Item {
    id: scene

    readonly property int settleMs: 1200

    width: 400
    height: host.implicitHeight

    // The list's row of `key`, once the list has made it.
    function rowFor(key) {
        const find = item => {
            if (item.objectName === "serverList")
                return item
            for (let i = 0; i < item.children.length; ++i) {
                const found = find(item.children[i])
                if (found)
                    return found
            }
            return null
        }
        const items = find(host).contentItem.children
        for (let i = 0; i < items.length; ++i) {
            if (items[i].key === key)
                return items[i]
        }
        return null
    }

    ListRig {
        id: rig
        Component.onCompleted: {
            scan([{pid: 4120, port: 3000, kind: "next", path: "/home/dev/code/storefront", http: 200,
                   connections: 3, clients: ["Firefox"]},
                  {pid: 4188, port: 5173, kind: "vite", path: "/home/dev/code/dashboard", http: 200,
                   cwd: "/home/dev/code/dashboard/apps/web"},
                  {pid: 4301, port: 8080, kind: "node", path: "/home/dev/code/api", http: 404, paused: true},
                  {pid: 4377, port: 4000, kind: "node", title: "Docs preview", parent: "launchd pid 1"},
                  {pid: 5001, port: 9222, kind: "agentBrowser", cwd: "/home/dev/code/storefront", http: 200},
                  {pid: 5002, port: 9223, kind: "agentBrowser", cwd: "/home/dev/code/blog"},
                  {pid: 5003, port: 9224, kind: "agentBrowser"}])
            capture("/home/dev/code/storefront", "ready - started server on 0.0.0.0:3000")
            holdLaunches = true
            restart("4188:5173")
        }
    }
    WindowState {
        id: windowState
        context: rig.context
    }
    QtObject {
        id: settings
        property bool groupAgentBrowserSessions: true
    }
    ListHost {
        id: host
        width: 400
        store: rig.store
        settings: settings
        windowState: windowState
        context: rig.context
    }
    Timer {
        interval: 100
        running: true
        onTriggered: {
            const row = scene.rowFor("4120:3000")
            if (row)
                row.hovering = true
        }
    }
}
