import QtQuick
import Porthive
import PorthiveShots

// The filter rail with the Vite filter on: only vite servers and saved vite projects are listed.
Item {
    id: scene

    readonly property int settleMs: 1200

    width: 400
    height: host.implicitHeight

    ListRig {
        id: rig
        Component.onCompleted: {
            scan([{pid: 4120, port: 3000, kind: "next", path: "/home/dev/code/storefront", http: 200},
                  {pid: 4188, port: 5173, kind: "vite", path: "/home/dev/code/dashboard", http: 200},
                  {pid: 4301, port: 8080, kind: "node", path: "/home/dev/code/api", http: 200}])
            remember([{path: "/home/dev/code/landing", kind: "vite", command: "yarn dev"},
                      {path: "/home/dev/code/docs", kind: "bun", command: "bun run dev"}])
        }
    }
    WindowState {
        id: windowState
        context: rig.context
        Component.onCompleted: selectRuntimeFilter("vite")
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
