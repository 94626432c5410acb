import QtQuick
import QtQuick.Templates as T
import Porthive

// One running server of the list: badge, title and port, HTTP status, connections, log and location, and the
// action strip (pause or resume, restart, output, reveal, force kill). A click on the row opens the server's
// address; force kill asks inside the row first. The row's roles come from ServerListModel.
Item {
    id: row

    required property string key
    required property string kind
    required property string title
    required property string portText
    required property bool paused
    required property string pendingTag
    required property color pendingTagColor
    required property bool hasPending
    required property bool live
    // -1 when the probe got no HTTP answer.
    required property int httpStatus
    required property int connectionCount
    required property bool hasLogSession
    required property string logHelpText
    required property string logPreviewText
    required property string locationText
    required property string detailTooltip
    required property string openHelp
    required property var actions
    required property bool showsDivider
    required property int staggerIndex
    required property bool confirming

    property ServerListModel listModel

    // The output segment hands its log selection to the window.
    signal showLog(var selection)

    property bool hovering: false
    // The kill confirmation is open; the list model keeps it while the server is listed.
    readonly property bool confirmingKill: confirming
    readonly property bool revealed: listModel.isServerRevealed(hovering, confirmingKill, hasPending)
    readonly property var accentBar: listModel.serverAccentBar(kind, live, hovering, confirmingKill)

    implicitWidth: 400
    implicitHeight: 54
    height: 54

    HoverHandler {
        onHoveredChanged: {
            row.hovering = hovered
            if (hovered)
                row.listModel.refreshServerPreview(row.key)
        }
    }

    StaggeredAppear {
        objectName: "rowAppear"
        anchors.fill: parent
        index: row.staggerIndex
        shownBefore: row.listModel.hasAppeared(row.key)
        onShownChanged: row.listModel.markAppeared(row.key)

        Rectangle {
            anchors.fill: parent
            color: row.listModel.serverRowBackground(row.kind, row.paused, row.hovering, row.confirmingKill)
            Behavior on color {
                QuickEase {}
            }
        }

        T.AbstractButton {
            id: body
            objectName: "serverBody"
            anchors.left: parent.left
            anchors.leftMargin: 12
            anchors.right: actionArea.left
            anchors.rightMargin: 8
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            hoverEnabled: true
            focusPolicy: Qt.TabFocus
            padding: 0
            Accessible.name: row.openHelp
            onClicked: {
                if (!row.confirmingKill)
                    row.listModel.openServer(row.key)
            }

            PlainToolTip {
                text: row.openHelp
                visible: body.hovered && !detailHover.hovered && !logHover.hovered
            }

            contentItem: Item {
                RuntimeBadge {
                    id: badge
                    anchors.left: parent.left
                    anchors.verticalCenter: parent.verticalCenter
                    kind: row.kind
                    dimmed: row.paused
                    live: row.live
                    side: 28
                }

                Column {
                    id: lines
                    anchors.left: badge.right
                    anchors.leftMargin: 10
                    anchors.right: parent.right
                    anchors.verticalCenter: parent.verticalCenter
                    spacing: 3

                    Row {
                        id: titleLine
                        spacing: 6

                        PlainLabel {
                            objectName: "serverTitle"
                            anchors.verticalCenter: parent.verticalCenter
                            width: Math.min(implicitWidth, Math.max(0, lines.width - portLabel.width - titleLine.spacing
                                                                        - (pausedTag.visible ? pausedTag.width + titleLine.spacing : 0)
                                                                        - (pendingTag.visible ? pendingTag.width + titleLine.spacing : 0)))
                            text: row.title
                            size: 13
                            weight: Font.DemiBold
                        }
                        PlainLabel {
                            id: portLabel
                            objectName: "serverPort"
                            anchors.verticalCenter: parent.verticalCenter
                            text: row.portText
                            size: 12
                            weight: Font.DemiBold
                            monospaced: true
                            color: Theme.accentColor(row.kind)
                        }
                        StatusTag {
                            id: pausedTag
                            objectName: "pausedTag"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: row.paused
                            text: "Paused"
                            color: Theme.orange
                        }
                        StatusTag {
                            id: pendingTag
                            objectName: "pendingTag"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: row.pendingTag.length > 0
                            text: row.pendingTag
                            color: row.pendingTagColor
                            spinning: true
                        }
                    }

                    Row {
                        id: detailLine
                        spacing: 8

                        HoverHandler {
                            id: detailHover
                        }
                        PlainToolTip {
                            objectName: "detailToolTip"
                            text: row.detailTooltip
                            visible: detailHover.hovered && !logHover.hovered
                        }

                        HTTPTag {
                            objectName: "httpTag"
                            anchors.verticalCenter: parent.verticalCenter
                            status: row.httpStatus >= 0 ? row.httpStatus : null
                            paused: row.paused
                        }
                        Row {
                            id: connections
                            objectName: "connections"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: row.connectionCount >= 1
                            spacing: 2
                            Symbol {
                                anchors.verticalCenter: parent.verticalCenter
                                name: "bolt.fill"
                                size: 10
                                color: Theme.green
                            }
                            PlainLabel {
                                anchors.verticalCenter: parent.verticalCenter
                                text: String(row.connectionCount)
                                size: 10
                                weight: Font.DemiBold
                                monospaced: true
                                color: Theme.green
                            }
                        }
                        Symbol {
                            id: logSymbol
                            objectName: "logSymbol"
                            anchors.verticalCenter: parent.verticalCenter
                            name: row.hasLogSession ? "terminal.fill" : "terminal"
                            size: 9.5
                            font.weight: Font.DemiBold
                            color: row.hasLogSession ? Theme.amber : Theme.tertiaryInk
                            Accessible.ignored: false
                            Accessible.role: Accessible.StaticText
                            Accessible.name: row.hasLogSession ? "Captured server log" : "Server log not captured"
                            Accessible.description: row.logPreviewText

                            HoverHandler {
                                id: logHover
                            }
                            PlainToolTip {
                                text: row.logHelpText
                                visible: logHover.hovered
                            }
                        }
                        PlainLabel {
                            objectName: "serverLocation"
                            anchors.verticalCenter: parent.verticalCenter
                            visible: row.locationText.length > 0
                            width: Math.min(implicitWidth, Math.max(0, lines.width - x))
                            text: row.locationText
                            size: 10
                            weight: Font.Medium
                            monospaced: true
                            color: Theme.tertiaryInk
                        }
                    }
                }
            }
            background: null
        }

        Item {
            id: actionArea
            anchors.right: parent.right
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            width: row.confirmingKill ? confirm.implicitWidth : cluster.implicitWidth
            height: 22

            ActionCluster {
                id: cluster
                objectName: "serverActions"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                visible: !row.confirmingKill
                revealed: row.revealed
                opacity: row.revealed ? 1 : 0.55
                Behavior on opacity {
                    QuickEase {}
                }

                ActionSegment {
                    objectName: "pauseResumeSegment"
                    systemImage: row.actions.pauseResume.symbol
                    help: row.actions.pauseResume.help
                    loading: row.actions.pauseResume.loading
                    enabled: !row.actions.pauseResume.disabled
                    onClicked: row.listModel.pauseOrResumeServer(row.key)
                }
                ClusterDivider {
                    shown: row.revealed
                }
                ActionSegment {
                    objectName: "restartSegment"
                    systemImage: row.actions.restart.symbol
                    help: row.actions.restart.help
                    loading: row.actions.restart.loading
                    enabled: !row.actions.restart.disabled
                    onClicked: row.listModel.restartServer(row.key)
                }
                ClusterDivider {
                    shown: row.revealed
                }
                ActionSegment {
                    objectName: "outputSegment"
                    systemImage: row.actions.showOutput.symbol
                    help: row.actions.showOutput.help
                    accessibilityLabel: row.actions.showOutput.accessibilityLabel
                    accessibilityHint: row.actions.showOutput.accessibilityHint
                    enabled: !row.actions.showOutput.disabled
                    onClicked: {
                        const selection = row.listModel.serverLogSelection(row.key)
                        if (selection !== undefined && selection !== null)
                            row.showLog(selection)
                    }
                }
                ClusterDivider {
                    visible: row.actions.hasReveal
                    shown: row.revealed
                }
                ActionSegment {
                    objectName: "revealSegment"
                    visible: row.actions.hasReveal
                    systemImage: row.actions.reveal.symbol
                    help: row.actions.reveal.help
                    onClicked: row.listModel.revealServer(row.key)
                }
                ClusterDivider {
                    shown: row.revealed
                }
                ActionSegment {
                    objectName: "killSegment"
                    systemImage: row.actions.forceKill.symbol
                    help: row.actions.forceKill.help
                    role: ButtonRole.Destructive
                    loading: row.actions.forceKill.loading
                    enabled: !row.actions.forceKill.disabled
                    onClicked: row.listModel.setConfirming(row.key, true)
                }
            }

            ConfirmCluster {
                id: confirm
                objectName: "killConfirmation"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                destructiveTitle: "Kill"
                shown: row.confirmingKill
                // Open before the row's view was made again: it stands at once.
                appeared: row.confirmingKill
                onConfirm: {
                    row.listModel.forceKillServer(row.key)
                    row.listModel.setConfirming(row.key, false)
                }
                onCancel: row.listModel.setConfirming(row.key, false)
            }

            ActionPressGuard {
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: Math.max(cluster.implicitWidth, confirm.implicitWidth)
                height: parent.height
                listModel: row.listModel
                key: row.key
            }
        }

        RowAccentBar {
            anchors.left: parent.left
            anchors.top: parent.top
            anchors.bottom: parent.bottom
            color: row.accentBar.color
            shown: row.accentBar.visible
            dimmed: row.accentBar.dimmed
        }

        HairlineRule {
            anchors.top: parent.top
            anchors.left: parent.left
            anchors.right: parent.right
            visible: row.showsDivider
            inset: 12
        }
    }
}
