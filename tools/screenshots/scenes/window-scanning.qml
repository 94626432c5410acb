import QtQuick
import Porthive
import PorthiveShots

// The window while the first scan runs.
Item {
    width: 400
    height: view.implicitHeight

    ChromeRig {
        id: rig
        Component.onCompleted: startScan()
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
