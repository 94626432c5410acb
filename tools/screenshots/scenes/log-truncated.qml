import QtQuick
import Porthive
import PorthiveShots

// The log page of a long session: only its tail is shown, the top of the view scrolled to.
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
        selection: fixture.makeSelection("shop", 5173, fixture.sampleOutput, 140000)
        store: fixture.store
        context: fixture.context
        Component.onCompleted: page.model.toggleFollowing()
    }
}
