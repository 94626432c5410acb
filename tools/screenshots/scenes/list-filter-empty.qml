import QtQuick
import Porthive
import PorthiveShots

// What stands in the list's place when the filter leaves nothing, under the rail.
Item {
    width: 400
    height: column.implicitHeight

    Column {
        id: column
        width: 400

        FilterRail {
            width: 400
            kinds: [{kind: "vite", label: "Vite"}, {kind: "node", label: "Node"}]
            selection: "vite"
        }
        HairlineRule {
            width: 400
        }
        FilterEmptyNote {
            width: 400
            text: "No Vite servers"
        }
    }
}
