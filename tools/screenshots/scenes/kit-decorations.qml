import QtQuick
import Porthive

// The row decorations: badges of every kind (live and dimmed), dots, tags, HTTP tags, accent bars and rules.
Rectangle {
    id: scene

    readonly property int settleMs: 700

    width: 400
    height: column.implicitHeight + 24
    color: "transparent"

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
            Caption { text: "badge 28"; anchors.verticalCenter: parent.verticalCenter }
            Repeater {
                model: ["agentBrowser", "next", "vite", "node", "bun"]
                RuntimeBadge { required property string modelData; kind: modelData; side: 28; live: true }
            }
            RuntimeBadge { kind: "vite"; side: 28; dimmed: true }
        }
        Row {
            spacing: 8
            Caption { text: "badge 20"; anchors.verticalCenter: parent.verticalCenter }
            Repeater {
                model: ["agentBrowser", "next", "vite", "node", "bun"]
                RuntimeBadge { required property string modelData; kind: modelData; side: 20; dimmed: true }
            }
            RuntimeBadge { kind: "agentBrowser"; side: 22; dimmed: true }
        }
        Row {
            spacing: 10
            Caption { text: "dots"; anchors.verticalCenter: parent.verticalCenter }
            StatusDot { color: Theme.green; active: true; anchors.verticalCenter: parent.verticalCenter }
            StatusDot { color: Theme.orange; anchors.verticalCenter: parent.verticalCenter }
            StatusDot { color: Theme.red; anchors.verticalCenter: parent.verticalCenter }
            StatusDot { color: Theme.secondaryInk; anchors.verticalCenter: parent.verticalCenter }
        }
        Row {
            spacing: 6
            Caption { text: "tags"; anchors.verticalCenter: parent.verticalCenter }
            StatusTag { text: "Paused"; color: Theme.orange }
            StatusTag { text: "Starting"; color: Theme.amber; spinning: true }
            StatusTag { text: "Killing"; color: Theme.red; spinning: true }
            StatusTag { text: "3 sessions"; color: Theme.accentColor("agentBrowser") }
        }
        Row {
            spacing: 6
            Caption { text: "error"; anchors.verticalCenter: parent.verticalCenter }
            StatusTag { text: DisplayText.cut("Project path unavailable right now", 24); color: Theme.red }
            StatusTag { text: "<b>bold</b>"; color: Theme.red }
        }
        Row {
            spacing: 10
            Caption { text: "http"; anchors.verticalCenter: parent.verticalCenter }
            HTTPTag { status: 200 }
            HTTPTag { status: 302 }
            HTTPTag { status: 404 }
            HTTPTag { status: 503 }
            HTTPTag { status: null }
            HTTPTag { status: 200; paused: true }
        }
        Row {
            spacing: 8
            Caption { text: "accent"; anchors.verticalCenter: parent.verticalCenter }
            RowAccentBar { height: 28; color: Theme.accentColor("vite") }
            RowAccentBar { height: 28; color: Theme.accentColor("vite"); dimmed: true }
            RowAccentBar { height: 28; color: Theme.red }
            RowAccentBar { height: 28; color: Theme.red; shown: false }
        }
        Column {
            spacing: 6
            width: 376
            Caption { text: "rules" }
            HairlineRule { width: parent.width; strong: true }
            HairlineRule { width: parent.width; inset: 12 }
        }
        Row {
            spacing: 8
            Caption { text: "spinning"; anchors.verticalCenter: parent.verticalCenter }
            SpinningIcon { systemImage: "arrow.clockwise"; color: Theme.ink(0.85) }
            ActivitySpinner {}
            ActivitySpinner { scale: 0.78 }
        }
    }
}
