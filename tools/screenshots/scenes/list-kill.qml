import QtQuick
import Porthive
import PorthiveShots

// A row asking whether to force kill its server, next to a plain one.
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
            scan([{pid: 4120, port: 3000, kind: "next", path: "/home/dev/code/storefront", http: 200},
                  {pid: 4188, port: 5173, kind: "vite", path: "/home/dev/code/dashboard", http: 302}])
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
            const row = scene.rowFor("4188:5173")
            if (row)
                row.listModel.setConfirming(row.key, true)
        }
    }
}
