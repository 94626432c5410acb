import QtQuick
import Porthive

// Lies over a row's action strip and its confirmation, and sees each press first. Right after the two swapped
// places, a press where the one that swapped them was is the second half of a double click meant for what was
// there before: it is swallowed here instead of reaching what now sits under the pointer. Every other press
// passes through.
MouseArea {
    required property ServerListModel listModel
    required property string key

    acceptedButtons: Qt.LeftButton
    onPressed: mouse => {
        mouse.accepted = !listModel.acceptActionPress(key, Qt.point(mouse.x, mouse.y))
    }
}
