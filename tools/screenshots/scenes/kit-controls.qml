import QtQuick
import Porthive

// Every control of the kit in its states: rest, hover, disabled, loading, spinning, confirm.
Rectangle {
    id: scene

    readonly property int settleMs: 700

    width: 400
    height: column.implicitHeight + 24
    color: "transparent"

    // The descendant of `item` with that objectName.
    function find(item, name) {
        for (let i = 0; i < item.children.length; ++i) {
            const child = item.children[i]
            if (child.objectName === name)
                return child
            const found = find(child, name)
            if (found)
                return found
        }
        return null
    }

    component Caption: PlainLabel {
        size: 9
        monospaced: true
        color: Theme.tertiaryInk
        width: 64
    }

    Column {
        id: column
        x: 12
        y: 12
        spacing: 10

        Row {
            spacing: 8
            Caption { text: "icon"; anchors.verticalCenter: parent.verticalCenter }
            IconButton { systemImage: "arrow.clockwise"; help: "Refresh" }
            IconButton { systemImage: "arrow.clockwise"; prominent: true }
            IconButton { systemImage: "gearshape"; prominent: true; forceHover: true }
            IconButton { systemImage: "power"; role: ButtonRole.Destructive; prominent: true; foregroundOverride: Theme.mutedInk }
            IconButton { systemImage: "power"; role: ButtonRole.Destructive; forceHover: true }
            IconButton { systemImage: "play.fill"; tint: Theme.green }
            IconButton { systemImage: "play.fill"; tint: Theme.green; forceHover: true }
        }
        Row {
            spacing: 8
            Caption { text: "icon busy"; anchors.verticalCenter: parent.verticalCenter }
            IconButton { systemImage: "arrow.clockwise"; prominent: true; spinning: true }
            IconButton { systemImage: "arrow.clockwise"; prominent: true; loading: true }
            IconButton { systemImage: "arrow.clockwise"; prominent: true; loading: true; spinning: true }
            IconButton { systemImage: "arrow.down.circle"; prominent: true; enabled: false }
            IconButton { systemImage: "xmark"; prominent: true; foregroundOverride: Theme.mutedInk }
        }
        Row {
            spacing: 8
            Caption { text: "cluster"; anchors.verticalCenter: parent.verticalCenter }
            ActionCluster {
                revealed: true
                ActionSegment { systemImage: "play.fill"; tint: Theme.green; help: "Start" }
                ClusterDivider {}
                ActionSegment { systemImage: "terminal"; help: "Show server output" }
                ClusterDivider {}
                ActionSegment { systemImage: "folder"; forceHover: true; help: "Reveal" }
                ClusterDivider {}
                ActionSegment { systemImage: "xmark"; role: ButtonRole.Destructive; forceHover: true }
            }
            ActionCluster {
                revealed: false
                ActionSegment { systemImage: "pause.fill" }
                ClusterDivider { shown: false }
                ActionSegment { systemImage: "arrow.clockwise" }
            }
        }
        Row {
            spacing: 8
            Caption { text: "busy"; anchors.verticalCenter: parent.verticalCenter }
            ActionCluster {
                revealed: true
                ActionSegment { systemImage: "play.fill"; tint: Theme.green; loading: true; enabled: false }
                ClusterDivider {}
                ActionSegment { systemImage: "terminal"; enabled: false; forceHover: true }
                ClusterDivider {}
                ActionSegment { systemImage: "arrow.clockwise"; loading: true }
                ClusterDivider {}
                ActionSegment { systemImage: "play.fill"; tint: Theme.green; forceHover: true }
            }
        }
        Row {
            spacing: 8
            Caption { text: "confirm"; anchors.verticalCenter: parent.verticalCenter }
            ConfirmCluster { destructiveTitle: "Kill" }
            ConfirmCluster {
                destructiveTitle: "Forget"
                Component.onCompleted: scene.find(this, "confirmSegment").forceHover = true
            }
        }
        Row {
            spacing: 8
            Caption { text: "symbols"; anchors.verticalCenter: parent.verticalCenter }
            Flow {
                width: 300
                spacing: 6
                Repeater {
                    model: ["bolt.horizontal.fill", "bolt.fill", "hexagon.fill", "globe", "terminal", "play.fill",
                        "pause.fill", "arrow.clockwise", "folder", "xmark", "gearshape", "power",
                        "arrow.down.circle", "chevron.up", "chevron.down", "chevron.left",
                        "line.3.horizontal.decrease", "hand.raised", "doc.text", "doc.plaintext", "building.2",
                        "arrow.up.right", "scissors", "exclamationmark.triangle", "checkmark", "doc.on.doc",
                        "bolt.trianglebadge.exclamationmark.fill"]
                    Symbol {
                        required property string modelData
                        name: modelData
                        size: 11
                        color: Theme.ink(0.85)
                    }
                }
            }
        }
    }
}
