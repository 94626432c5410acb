import QtQuick
import Porthive
import PorthiveShots

// The header after a scan failed with nothing listed: a red dot and the error, cut to one line.
Item {
    readonly property int settleMs: 700

    width: 400
    height: header.implicitHeight

    ChromeRig {
        id: rig
        Component.onCompleted: failScan("lsof: command timed out after 1 second")
    }
    HeaderBar {
        id: header
        width: 400
        store: rig.store
    }
}
