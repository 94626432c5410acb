import QtQuick
import Porthive
import PorthiveShots

// The window with nothing to list.
Item {
    width: 400
    height: view.implicitHeight

    ChromeRig {
        id: rig
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
