import QtQuick
import Porthive

// The thin amber line along the window's top edge, fading out towards the trailing side.
Rectangle {
    implicitHeight: 2
    height: 2
    gradient: Gradient {
        orientation: Gradient.Horizontal
        GradientStop { position: 0; color: Theme.amber }
        GradientStop { position: 0.5; color: Qt.alpha(Theme.amber, 0.55) }
        GradientStop { position: 1; color: Qt.alpha(Theme.amber, 0) }
    }
}
