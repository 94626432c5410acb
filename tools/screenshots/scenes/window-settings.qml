import QtQuick
import Porthive
import PorthiveShots

// The settings page, with a launch-at-login failure shown under its switch.
Item {
    readonly property int settleMs: 900

    width: 400
    height: view.implicitHeight

    ChromeRig {
        id: rig
        Component.onCompleted: showServers(2)
    }
    ChromeSettingsFake {
        id: settings
        launchAtLoginEnabled: true
        launchAtLoginMessage: "Licenses file is missing from the app bundle."
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
        Component.onCompleted: windowState.showSettings()
    }
}
