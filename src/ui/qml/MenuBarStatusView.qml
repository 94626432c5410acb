import QtQuick
import Porthive

// The window: header, the content area with its one page (list, settings or a server's log), footer.
// Pages slide in and out horizontally while they fade; Escape closes the log, then settings, and with
// nothing left to close lets the window go.
Item {
    id: root

    required property ServerStore store
    // The settings object and the update controller, read through their properties.
    required property QtObject settings
    required property QtObject updateController
    required property WindowContext context

    readonly property WindowState windowState: WindowState {
        context: root.context
    }

    width: 400
    implicitWidth: 400
    implicitHeight: stack.implicitHeight

    TechBackdrop {
        anchors.fill: parent
    }

    Column {
        id: stack
        width: parent.width
        spacing: 0

        HeaderBar {
            width: parent.width
            store: root.store
            showingSettings: root.windowState.showingSettings
            onShowSettings: root.windowState.showSettings()
            onHideSettings: root.windowState.hideSettings()
        }
        HairlineRule {
            width: parent.width
            strong: true
        }
        Item {
            id: content
            objectName: "contentArea"
            width: parent.width
            height: Math.max(listPage.contentHeight, settingsPage.contentHeight, logPage.contentHeight)
            clip: true

            PageSlot {
                id: listPage
                objectName: "listPage"
                shown: !root.windowState.showingSettings && !root.windowState.hasSelectedLog
                hiddenOffset: -24
                page: Component {
                    ListHost {
                        store: root.store
                        settings: root.settings
                        windowState: root.windowState
                        context: root.context
                    }
                }
            }
            PageSlot {
                id: settingsPage
                objectName: "settingsPage"
                shown: root.windowState.showingSettings
                hiddenOffset: 24
                page: Component {
                    SettingsPanel {
                        settings: root.settings
                        context: root.context
                    }
                }
            }
            PageSlot {
                id: logPage
                objectName: "logPage"
                shown: !root.windowState.showingSettings && root.windowState.hasSelectedLog
                hiddenOffset: 24
                // The log page is loaded by address, only while a log is selected.
                pageSource: Qt.resolvedUrl("ServerLogDetail.qml")
                // None while no log is selected, so a closing log page is not made again empty.
                pageProperties: root.windowState.hasSelectedLog ? {
                    selection: root.windowState.selectedLog,
                    store: root.store,
                    context: root.context
                } : null
            }
            Connections {
                target: logPage.item
                ignoreUnknownSignals: true
                function onBack() {
                    root.windowState.closeLog()
                }
            }
        }
        HairlineRule {
            width: parent.width
            strong: true
        }
        FooterBar {
            width: parent.width
            updateController: root.updateController
            context: root.context
        }
    }

    BrandSignatureLine {
        anchors.top: parent.top
        width: parent.width
    }

    // The window's one Escape route: a second Escape shortcut in the window would make both ambiguous.
    Shortcut {
        sequence: StandardKey.Cancel
        context: Qt.WindowShortcut
        onActivated: {
            if (!root.windowState.closeTopOverlay())
                root.context.dismiss()
        }
    }

    // One page of the content area: made anew each time it is shown, kept while it fades out, moving by
    // `hiddenOffset` on its way in and out. A page given by address loads only while shown, so a page whose
    // file is not there breaks nothing else.
    component PageSlot: Item {
        id: slot

        property bool shown: false
        property real hiddenOffset: 0
        property Component page
        property url pageSource
        // The initial properties of a page given by address; a change while shown makes the page anew.
        property var pageProperties: null
        readonly property alias item: loader.item
        readonly property real contentHeight: loader.item ? loader.item.implicitHeight : 0

        function load() {
            if (pageSource.toString().length > 0) {
                if (pageProperties)
                    loader.setSource(pageSource, pageProperties)
            } else {
                loader.sourceComponent = null
                loader.sourceComponent = page
            }
        }

        width: parent ? parent.width : 0
        height: parent ? parent.height : 0
        opacity: shown ? 1 : 0
        x: shown ? 0 : hiddenOffset
        visible: opacity > 0
        enabled: shown

        onShownChanged: {
            if (shown)
                load()
        }
        onPagePropertiesChanged: {
            if (shown && pageProperties && pageSource.toString().length > 0)
                load()
        }
        Component.onCompleted: {
            if (shown)
                load()
        }

        Behavior on opacity {
            PanelSpring {}
        }
        Behavior on x {
            PanelSpring {}
        }

        Loader {
            id: loader
            width: slot.width
            active: slot.shown || slot.visible
        }
    }
}
