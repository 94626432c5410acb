import QtQuick
import PorthiveShots

// The tray icon for several states and counts, at the sizes trays ask for, on a dark and a light panel.
Column {
    id: root

    readonly property var states: [
        { refreshState: "idle", runningCount: 0 },
        { refreshState: "idle", runningCount: 1 },
        { refreshState: "refreshing", runningCount: 3 },
        { refreshState: "idle", runningCount: 12 },
        { refreshState: "idle", runningCount: 128 },
        { refreshState: "stale", runningCount: 3 },
        { refreshState: "failed", runningCount: 3 }
    ]
    readonly property var sizes: [
        { iconSize: 16, ratio: 1 },
        { iconSize: 22, ratio: 1 },
        { iconSize: 24, ratio: 1.5 },
        { iconSize: 22, ratio: 2 },
        { iconSize: 32, ratio: 1 },
        { iconSize: 64, ratio: 1 }
    ]

    Repeater {
        model: ["#2b2b2e", "#e9e9ec"]

        Rectangle {
            id: panel

            required property string modelData

            width: grid.implicitWidth + 24
            height: grid.implicitHeight + 24
            color: modelData

            Grid {
                id: grid

                anchors.centerIn: parent
                columns: root.states.length
                columnSpacing: 14
                rowSpacing: 10
                verticalItemAlignment: Grid.AlignVCenter
                horizontalItemAlignment: Grid.AlignHCenter

                Repeater {
                    model: root.sizes.length * root.states.length

                    TrayIconPreview {
                        required property int index

                        refreshState: root.states[index % root.states.length].refreshState
                        runningCount: root.states[index % root.states.length].runningCount
                        iconSize: root.sizes[Math.floor(index / root.states.length)].iconSize
                        ratio: root.sizes[Math.floor(index / root.states.length)].ratio
                    }
                }
            }
        }
    }
}
