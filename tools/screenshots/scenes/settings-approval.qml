import QtQuick
import Porthive
import PorthiveShots

// The settings page while launch at login waits for the user's approval; the update check is busy.
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

        launchAtLoginStatus: 1
        launchAtLoginMessage: "Licenses file is missing from the app bundle."
    }
    ChromeUpdaterFake {
        id: updater
        canCheckForUpdates: false
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
