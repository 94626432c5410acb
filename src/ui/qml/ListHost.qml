import QtQuick
import Qt.labs.qmlmodels
import Porthive

// The list page: the empty state when there is nothing at all; otherwise the filter rail (with two kinds or
// more) and the list of running servers and saved sections, or the filter's note when it leaves nothing.
Item {
    id: host

    required property ServerStore store
    required property QtObject settings
    required property WindowState windowState
    required property WindowContext context

    readonly property ServerListModel listModel: ServerListModel {
        store: host.store
        groupAgentBrowserSessions: host.settings && host.settings.groupAgentBrowserSessions !== undefined
                                   ? host.settings.groupAgentBrowserSessions : true
        runtimeFilter: host.windowState ? host.windowState.runtimeFilter : ""
        expandedSavedBucketIDs: host.windowState ? host.windowState.expandedSavedBucketIDs : []
        availableHeight: host.context ? host.context.availableHeight : 900
        revealHelpText: host.settings && host.settings.revealInFileManagerText
                        ? host.settings.revealInFileManagerText : "Reveal in Finder"
        swapGuardInterval: Qt.styleHints.mouseDoubleClickInterval
        swapGuardDistance: Qt.styleHints.mouseDoubleClickDistance
    }
    readonly property bool showsRail: listModel.filterChoices.length >= 2

    function showLog(selection) {
        host.windowState.showLog(selection)
    }

    implicitWidth: 400
    implicitHeight: listModel.isEmptyOverall ? empty.implicitHeight : content.implicitHeight

    EmptyState {
        id: empty
        objectName: "emptyState"
        width: host.width
        visible: host.listModel.isEmptyOverall
        isScanning: host.listModel.isScanning
    }

    Column {
        id: content
        width: host.width
        visible: !host.listModel.isEmptyOverall
        spacing: 0

        FilterRail {
            id: rail
            objectName: "filterRail"
            width: parent.width
            visible: host.showsRail
            kinds: host.listModel.filterChoices
            selection: host.windowState ? host.windowState.runtimeFilter : ""
            onSelect: kind => host.windowState.selectRuntimeFilter(kind)
        }
        HairlineRule {
            objectName: "filterRule"
            width: parent.width
            visible: host.showsRail
        }

        ListView {
            id: list
            objectName: "serverList"
            width: parent.width
            height: host.listModel.listHeight
            visible: host.listModel.hasContent
            model: host.listModel
            topMargin: 6
            bottomMargin: 6
            clip: true
            // Bounces only when there is something to scroll to.
            boundsBehavior: contentHeight + topMargin + bottomMargin > height + 0.5 ? Flickable.DragAndOvershootBounds
                                                                                   : Flickable.StopAtBounds
            keyNavigationEnabled: false
            activeFocusOnTab: false
            // A list that changes while its window is hidden changes without animating.
            readonly property bool onScreen: Theme.showsWindow(Window.visibility)

            add: Transition {
                enabled: list.onScreen
                NumberAnimation {
                    property: "opacity"
                    from: 0
                    to: 1
                    duration: Theme.panelSpring.duration
                    easing.type: Theme.panelSpring.type
                    easing.bezierCurve: Theme.panelSpring.bezierCurve
                }
            }
            remove: Transition {
                enabled: list.onScreen
                NumberAnimation {
                    property: "opacity"
                    to: 0
                    duration: Theme.panelSpring.duration
                    easing.type: Theme.panelSpring.type
                    easing.bezierCurve: Theme.panelSpring.bezierCurve
                }
            }
            displaced: Transition {
                enabled: list.onScreen
                NumberAnimation {
                    property: "y"
                    duration: Theme.panelSpring.duration
                    easing.type: Theme.panelSpring.type
                    easing.bezierCurve: Theme.panelSpring.bezierCurve
                }
                // A row displaced while it faded in or out ends fully shown.
                NumberAnimation {
                    property: "opacity"
                    to: 1
                    duration: Theme.panelSpring.duration
                }
            }
            move: Transition {
                enabled: list.onScreen
                NumberAnimation {
                    property: "y"
                    duration: Theme.panelSpring.duration
                    easing.type: Theme.panelSpring.type
                    easing.bezierCurve: Theme.panelSpring.bezierCurve
                }
            }

            delegate: DelegateChooser {
                role: "rowType"

                DelegateChoice {
                    roleValue: "header"
                    SectionHeader {
                        width: ListView.view.width
                    }
                }
                DelegateChoice {
                    roleValue: "server"
                    ServerRow {
                        width: ListView.view.width
                        listModel: host.listModel
                        onShowLog: selection => host.showLog(selection)
                    }
                }
                DelegateChoice {
                    roleValue: "group"
                    AgentBrowserGroupRow {
                        width: ListView.view.width
                        listModel: host.listModel
                    }
                }
                DelegateChoice {
                    roleValue: "saved"
                    RememberedProjectRow {
                        width: ListView.view.width
                        listModel: host.listModel
                        onShowLog: selection => host.showLog(selection)
                    }
                }
                DelegateChoice {
                    roleValue: "disclosure"
                    SavedDisclosureRow {
                        required property string bucketLabel
                        width: ListView.view.width
                        onClicked: host.windowState.toggleBucketExpansion(bucketLabel)
                    }
                }
            }
        }

        FilterEmptyNote {
            objectName: "filterEmptyNote"
            width: parent.width
            visible: !host.listModel.hasContent
            text: host.listModel.filterEmptyText
        }
    }
}
