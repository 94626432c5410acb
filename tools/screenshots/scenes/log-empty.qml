import QtQuick
import Porthive
import PorthiveShots

// The log page of a launch that has written nothing yet.
Item {
    width: 400
    height: page.height

    LogPageFixture {
        id: fixture
    }

    ServerLogDetail {
        id: page
        width: 400
        selection: fixture.makeSelection("shop", 5173, "")
        store: fixture.store
        context: fixture.context
    }
}
