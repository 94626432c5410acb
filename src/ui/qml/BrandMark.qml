import QtQuick
import Porthive

// The product's mark: an amber tile with the bolt.
Item {
    implicitWidth: 30
    implicitHeight: 30

    Rectangle {
        anchors.fill: parent
        radius: 3
        antialiasing: true
        gradient: Gradient {
            GradientStop { position: 0; color: Theme.amber }
            GradientStop { position: 1; color: Qt.alpha(Theme.amber, 0.82) }
        }
        border.width: 1
        border.color: Qt.rgba(1, 1, 1, 0.25)
    }
    Symbol {
        anchors.centerIn: parent
        name: "bolt.horizontal.fill"
        size: 13
        font.weight: Font.Bold
        color: Qt.rgba(0, 0, 0, 0.85)
    }
}
