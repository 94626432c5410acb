import QtQuick
import Porthive

// A server's HTTP answer: a status dot and "200", "no http" or "paused" in the status colour.
Row {
    id: tag

    // The probe's HTTP status, null when it got no HTTP answer.
    property var status: null
    property bool paused: false

    readonly property var look: KitStyle.httpTag(status, paused, Theme.secondaryInk)
    readonly property color tagColor: look.color
    readonly property bool dotActive: look.dotActive

    spacing: 4

    StatusDot {
        anchors.verticalCenter: parent.verticalCenter
        color: tag.tagColor
        active: tag.dotActive
    }
    PlainLabel {
        anchors.verticalCenter: parent.verticalCenter
        text: tag.look.text
        size: 10
        weight: Font.DemiBold
        monospaced: true
        color: tag.tagColor
    }
}
