import QtQuick
import Porthive
import PorthiveShots

// The log page in the window, following a dev server's output.
Item {
    readonly property int settleMs: 1200

    width: 400
    height: view.implicitHeight

    LogPageFixture {
        id: fixture
    }
    ChromeSettingsFake {
        id: settings
    }
    ChromeUpdaterFake {
        id: updater
    }
    MenuBarStatusView {
        id: view
        store: fixture.store
        settings: settings
        updateController: updater
        context: fixture.context
        Component.onCompleted: windowState.showLog(fixture.makeSelection("shop", 5173, fixture.sampleOutput))
    }
}
