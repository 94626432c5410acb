import QtQuick
import Porthive
import PorthiveShots

// The log page following a dev server's output.
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
        selection: fixture.makeSelection("shop", 5173, fixture.sampleOutput)
        store: fixture.store
        context: fixture.context
    }
}
