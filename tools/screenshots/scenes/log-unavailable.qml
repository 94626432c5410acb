import QtQuick
import Porthive
import PorthiveShots

// The log page of a session whose file has been removed.
Item {
    width: 400
    height: page.height

    LogPageFixture {
        id: fixture
    }

    ServerLogDetail {
        id: page
        width: 400
        selection: fixture.makeSelection("shop", 5173, fixture.sampleOutput, 0, true)
        store: fixture.store
        context: fixture.context
    }
}
