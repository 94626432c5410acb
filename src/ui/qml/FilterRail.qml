import QtQuick
import Porthive

// The row of runtime filter chips above the list: "All" and one chip per kind present. The selection is the
// window's stored filter ("" for All); a chip asks for a new one through `select`.
Item {
    id: rail

    // The kinds present, in case order: {kind, label} with the kind's raw value and its display name.
    required property var kinds
    required property string selection

    signal select(string kind)

    implicitWidth: 400
    implicitHeight: 31
    height: 31

    Flickable {
        anchors.fill: parent
        contentWidth: chips.width + 24
        contentHeight: height
        flickableDirection: Flickable.HorizontalFlick
        boundsBehavior: Flickable.StopAtBounds
        interactive: contentWidth > width
        clip: true

        Row {
            id: chips
            x: 12
            anchors.verticalCenter: parent.verticalCenter
            spacing: 4

            FilterChip {
                objectName: "chip-all"
                label: "All"
                color: Theme.secondaryInk
                showsDot: false
                selected: rail.selection.length === 0
                onClicked: rail.select("")
            }
            Repeater {
                model: rail.kinds
                FilterChip {
                    required property var modelData
                    objectName: "chip-" + modelData.kind
                    label: modelData.label
                    color: Theme.accentColor(modelData.kind)
                    showsDot: true
                    selected: rail.selection === modelData.kind
                    onClicked: rail.select(rail.selection === modelData.kind ? "" : modelData.kind)
                }
            }
        }
    }
}
