import QtQuick
import Porthive
import PorthiveShots

// The header after a scan failed while servers were listed: an orange dot and the stale note.
Item {
    readonly property int settleMs: 700

    width: 400
    height: header.implicitHeight

    ChromeRig {
        id: rig
        Component.onCompleted: {
            showServers(3)
            failScan("lsof could not read the socket table of process 4211")
        }
    }
    HeaderBar {
        id: header
        width: 400
        store: rig.store
    }
}
