import QtQuick
import Porthive

// The 1 × 12 rule between two segments; hidden it keeps its place, so segments never shift.
Rectangle {
    // Named `shown`, not `visible`: Item.visible would take the divider out of the layout.
    property bool shown: true

    implicitWidth: 1
    implicitHeight: 12
    anchors.verticalCenter: parent ? parent.verticalCenter : undefined
    color: Theme.faintFill
    opacity: shown ? 1 : 0
}
