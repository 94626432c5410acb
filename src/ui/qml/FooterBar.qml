import QtQuick
import QtQuick.Layouts
import Porthive

// The window's footer: the build's version, the update check and quitting.
Item {
    id: footer

    // The update controller: canCheckForUpdates, checkForUpdates().
    required property QtObject updateController
    required property WindowContext context

    readonly property FooterModel model: FooterModel {}

    implicitWidth: row.implicitWidth + 24
    implicitHeight: row.implicitHeight + 14

    RowLayout {
        id: row
        anchors.fill: parent
        anchors.leftMargin: 12
        anchors.rightMargin: 12
        anchors.topMargin: 7
        anchors.bottomMargin: 7
        spacing: 6

        PlainLabel {
            objectName: "versionText"
            Layout.fillWidth: true
            text: footer.model.versionText
            size: 10
            weight: Font.Medium
            monospaced: true
            color: Theme.mutedInk
        }
        IconButton {
            objectName: "updateButton"
            systemImage: "arrow.down.circle"
            help: "Check for Updates"
            foregroundOverride: Theme.mutedInk
            prominent: true
            enabled: footer.updateController ? footer.updateController.canCheckForUpdates : false
            Accessible.name: "Check for Updates"
            onClicked: footer.updateController.checkForUpdates()
        }
        IconButton {
            objectName: "quitButton"
            systemImage: "power"
            help: "Quit"
            role: ButtonRole.Destructive
            foregroundOverride: Theme.mutedInk
            prominent: true
            Accessible.name: "Quit Porthive"
            onClicked: footer.context.quit()
        }
    }
}
