import QtQuick
import Porthive

// A small capitalised tag ("PAUSED", "STARTING") in its colour, with a spinner while work is under way. The
// text may come from outside (an error text), so it is plain.
Item {
    id: tag

    property string text
    property color color: Theme.secondaryInk
    property bool spinning: false

    implicitWidth: content.implicitWidth + 10
    implicitHeight: content.implicitHeight + 4

    Rectangle {
        anchors.fill: parent
        radius: 2
        color: Qt.alpha(tag.color, 0.1)
        border.width: 1
        border.color: Qt.alpha(tag.color, 0.3)
    }

    Row {
        id: content
        anchors.centerIn: parent
        spacing: 3

        Item {
            visible: tag.spinning
            width: 11
            height: 11
            anchors.verticalCenter: parent.verticalCenter
            ActivitySpinner {
                objectName: "tagSpinner"
                anchors.centerIn: parent
                scale: 0.7
                color: tag.color
                running: tag.spinning
            }
        }
        PlainLabel {
            anchors.verticalCenter: parent.verticalCenter
            text: tag.text
            size: 9
            weight: Font.DemiBold
            monospaced: true
            tracking: 0.3
            upperCase: true
            color: tag.color
        }
    }
}
