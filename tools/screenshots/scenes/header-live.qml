import QtQuick
import Porthive
import PorthiveShots

// The header with servers running and saved projects: a green, glowing dot and the counts, while refreshing.
Item {
    readonly property int settleMs: 700

    width: 400
    height: header.implicitHeight

    ChromeRig {
        id: rig
        Component.onCompleted: {
            showServers(3)
            showSavedProjects(2)
            startScan()
        }
    }
    HeaderBar {
        id: header
        width: 400
        store: rig.store
    }
}
