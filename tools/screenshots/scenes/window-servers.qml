import QtQuick
import Porthive
import PorthiveShots

// The whole window as a user opens it: running servers of three kinds and recent projects.
Item {
    readonly property int settleMs: 1500

    width: 400
    height: view.implicitHeight

    ListRig {
        id: rig
        Component.onCompleted: {
            remember([{path: "/home/dev/code/admin", kind: "next", command: "npm run dev"},
                      {path: "/home/dev/code/landing", kind: "vite", command: "yarn dev"},
                      {path: "/home/dev/code/legacy", kind: "node", command: "npm start", daysAgo: 1}])
            scan([{pid: 4120, port: 3000, kind: "next", path: "/home/dev/code/storefront", http: 200,
                   connections: 3, clients: ["Firefox"]},
                  {pid: 4188, port: 5173, kind: "vite", path: "/home/dev/code/dashboard", http: 200,
                   cwd: "/home/dev/code/dashboard/apps/web"},
                  {pid: 4301, port: 8080, kind: "node", path: "/home/dev/code/api", http: 404, paused: true}])
        }
    }
    ChromeSettingsFake {
        id: settings
    }
    ChromeUpdaterFake {
        id: updater
    }
    MenuBarStatusView {
        id: view
        store: rig.store
        settings: settings
        updateController: updater
        context: rig.context
    }
}
