import QtQuick
import Porthive
import PorthiveShots

// The header after a restart's launch failed, with the pointer on the status line: the line is cut, its tooltip
// reads the failure whole.
Item {
    id: scene
    // Past the tooltip's delay.
    readonly property int settleMs: 1500

    width: 400
    height: header.implicitHeight + 56

    // A popup is held in its item's data, not among its children.
    function findNamed(object, name) {
        if (object.objectName === name)
            return object
        const held = object.data || []
        for (let i = 0; i < held.length; ++i) {
            const found = findNamed(held[i], name)
            if (found)
                return found
        }
        return null
    }

    ChromeRig {
        id: rig
        Component.onCompleted: {
            failScan("Launch failed (127) \u2014 open logs for details")
            scene.findNamed(header, "statusToolTip").open()
        }
    }
    TechBackdrop {
        anchors.fill: parent
    }
    HeaderBar {
        id: header
        width: 400
        store: rig.store
    }
}
