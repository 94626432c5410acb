import QtQuick
import Porthive
import PorthiveShots

// Saved sections: Today with more projects than it shows and its disclosure row, two projects of one folder
// name told apart by their parent folders, a starting project, one whose start failed, an older weekday and
// Last Week.
Item {
    id: scene

    readonly property int settleMs: 1200

    width: 400
    height: host.implicitHeight

    ListRig {
        id: rig
        Component.onCompleted: {
            scan([{pid: 4120, port: 3000, kind: "next", path: "/home/dev/code/storefront", http: 200}])
            remember([{path: "/home/dev/code/shop/apps/web", kind: "vite", command: "pnpm dev"},
                      {path: "/home/dev/code/blog/web", kind: "vite", command: "pnpm dev", daysAgo: 3},
                      {path: "/home/dev/code/admin", kind: "next", command: "npm run dev"},
                      {path: "/home/dev/code/api", kind: "node", command: "node --watch server.js"},
                      {path: "/home/dev/code/docs", kind: "bun", command: "bun run dev"},
                      {path: "/home/dev/code/mail", kind: "node", command: "npm run dev",
                       environment: {PORT: "4010"}},
                      {path: "/home/dev/code/landing", kind: "vite", command: "yarn dev"},
                      {path: "/home/dev/code/legacy", kind: "node", command: "npm start", daysAgo: 1},
                      {path: "/home/dev/code/pricing", kind: "next", command: "npm run dev", daysAgo: 9}])
            capture("/home/dev/code/api", "Server listening on http://localhost:4000")
            failStartsWith(1)
            start("/home/dev/code/legacy")
            holdLaunches = true
            start("/home/dev/code/admin")
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
}
