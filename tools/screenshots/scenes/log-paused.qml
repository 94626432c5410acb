import QtQuick
import Porthive
import PorthiveShots

// The log page paused, just after a copy, with a project that has no port.
Item {
    readonly property int settleMs: 700

    width: 400
    height: page.height

    LogPageFixture {
        id: fixture
    }

    ServerLogDetail {
        id: page
        width: 400
        selection: fixture.makeSelection("storefront-admin", -1, fixture.sampleOutput)
        store: fixture.store
        context: fixture.context
        Component.onCompleted: page.model.toggleFollowing()
    }

    Timer {
        interval: 300
        running: true
        onTriggered: page.model.copyLog()
    }
}
