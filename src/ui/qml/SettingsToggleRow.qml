import QtQuick
import QtQuick.Templates as T
import Porthive

// A setting with a title, an optional note and a small amber switch. The switch shows `isOn` and reports a
// flip through change(); the page redraws from the settings object, so the switch keeps no state of its own.
Item {
    id: row

    property string title
    property string note
    property bool isOn: false

    signal change(bool value)

    implicitHeight: Math.max(texts.implicitHeight, toggle.implicitHeight)

    Column {
        id: texts
        anchors.left: parent.left
        anchors.right: toggle.left
        anchors.rightMargin: 8
        anchors.verticalCenter: parent.verticalCenter
        spacing: 2

        PlainLabel {
            width: parent.width
            text: row.title
            size: 12.5
            weight: Font.Medium
        }
        PlainLabel {
            width: parent.width
            visible: row.note.length > 0
            text: row.note
            size: 10.5
            color: Theme.tertiaryInk
            wrapMode: Text.Wrap
            maximumLineCount: 100
            elide: Text.ElideNone
        }
    }

    T.Switch {
        id: toggle
        objectName: "toggle"
        anchors.right: parent.right
        anchors.verticalCenter: parent.verticalCenter
        implicitWidth: 26
        implicitHeight: 15
        padding: 0
        focusPolicy: Qt.StrongFocus
        checked: row.isOn
        Accessible.name: row.title

        onToggled: {
            const value = checked
            // Back to showing the setting; the flip only asks for the change.
            checked = Qt.binding(() => row.isOn)
            row.change(value)
        }

        indicator: Rectangle {
            implicitWidth: 26
            implicitHeight: 15
            radius: height / 2
            color: toggle.checked ? Theme.amber : Theme.softFill
            border.width: toggle.visualFocus ? 1 : 0
            border.color: Theme.primaryInk
            Behavior on color {
                QuickEase {}
            }

            Rectangle {
                width: 13
                height: 13
                radius: 6.5
                y: 1
                x: toggle.checked ? parent.width - width - 1 : 1
                color: "white"
                border.width: 1
                border.color: Qt.rgba(0, 0, 0, 0.12)
                Behavior on x {
                    QuickEase {}
                }
            }
        }
    }
}
