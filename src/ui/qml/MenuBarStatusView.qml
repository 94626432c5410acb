import QtQuick
import QtQuick.Controls
import Porthive

// Stand-in for the window's root view until the real one lands: the same required properties and size.
Item {
    id: root

    required property ServerStore store
    required property QtObject settings
    required property QtObject updateController
    required property WindowContext context

    width: 400
    implicitHeight: 240

    Rectangle {
        anchors.fill: parent
        color: root.palette.window
    }

    Label {
        anchors.left: parent.left
        anchors.top: parent.top
        anchors.margins: 12
        textFormat: Text.PlainText
        text: "Porthive — " + root.store.runningServerCount + " active"
    }

    Button {
        objectName: "quitButton"
        anchors.right: parent.right
        anchors.bottom: parent.bottom
        anchors.margins: 7
        text: "Quit"
        onClicked: root.context.quit()
    }
}
