import QtQuick
import Porthive
import QtQuick.Templates as T

// The window's tooltip: plain text only (Qt's default tooltip renders markup and loads images it names).
// Place one inside a control and bind `visible` to its hover.
T.ToolTip {
    id: tip

    delay: 600
    margins: 6
    padding: 6
    x: parent ? Math.round((parent.width - implicitWidth) / 2) : 0
    y: parent ? parent.height + 4 : 0
    implicitWidth: Math.min(contentItem.implicitWidth + leftPadding + rightPadding, 380)
    implicitHeight: contentItem.implicitHeight + topPadding + bottomPadding
    // Escape belongs to the window's one route (closing a page, then hiding the window), not to a tooltip.
    closePolicy: T.Popup.CloseOnPressOutsideParent | T.Popup.CloseOnReleaseOutsideParent

    contentItem: PlainLabel {
        text: tip.text
        size: 11
        color: Theme.primaryInk
        wrapMode: Text.Wrap
        maximumLineCount: 12
        elide: Text.ElideNone
        width: Math.min(implicitWidth, 380 - tip.leftPadding - tip.rightPadding)
    }

    background: Rectangle {
        color: Theme.palette.window
        border.color: Theme.softFill
        border.width: 1
        radius: 4
    }
}
