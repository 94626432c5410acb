import QtQuick
import Porthive

// One saved project that is not running: badge, folder name, a starting or error tag, its command, its log
// and, on hover, Start, output, reveal and Forget (confirmed inside the row). A double-click starts it.
Item {
    id: row

    required property string key
    required property string kind
    required property string title
    required property string statusTagText
    required property color statusTagColor
    required property bool statusTagSpinning
    required property string commandText
    required property bool hasLogSession
    required property string logHelpText
    required property string logPreviewText
    required property string tooltipText
    required property bool isStarting
    required property var actions
    required property bool showsDivider
    required property int staggerIndex
    required property bool confirming

    property ServerListModel listModel

    signal showLog(var selection)

    property bool hovering: false
    // The forget confirmation is open; the list model keeps it while the project is listed.
    readonly property bool confirmingForget: confirming
    readonly property bool controlsShown: listModel.savedControlsShown(hovering, confirmingForget, isStarting)
    readonly property var accentBar: listModel.savedAccentBar(kind, hovering, confirmingForget)

    implicitWidth: 400
    implicitHeight: 36
    height: 36

    HoverHandler {
        id: rowHover
        onHoveredChanged: {
            row.hovering = hovered
            if (hovered)
                row.listModel.refreshProjectPreview(row.key)
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
            color: row.listModel.savedRowBackground(row.hovering, row.confirmingForget, Theme.primaryInk)
            Behavior on color {
                QuickEase {}
            }
        }

        // The whole row takes the double-click, also between the texts; the buttons above keep their clicks.
        MouseArea {
            objectName: "savedRowBody"
            anchors.fill: parent
            acceptedButtons: Qt.LeftButton
            onDoubleClicked: row.listModel.startProject(row.key)
        }

        PlainToolTip {
            objectName: "rowToolTip"
            text: row.tooltipText
            visible: rowHover.hovered && !logHover.hovered && !actionHover.hovered
        }

        Row {
            id: content
            anchors.left: parent.left
            anchors.leftMargin: 12
            anchors.right: actionArea.left
            anchors.rightMargin: 8
            anchors.verticalCenter: parent.verticalCenter
            spacing: 8

            RuntimeBadge {
                id: badge
                anchors.verticalCenter: parent.verticalCenter
                kind: row.kind
                dimmed: true
                live: false
                side: 20
            }
            PlainLabel {
                id: titleLabel
                objectName: "projectTitle"
                anchors.verticalCenter: parent.verticalCenter
                // The name keeps its width before the command gives up any of its own.
                width: Math.min(implicitWidth, Math.max(0, content.width - badge.width - content.spacing
                                                            - (tag.visible ? tag.width + content.spacing : 0)
                                                            - logSymbol.width - content.spacing))
                text: row.title
                size: 12.5
                weight: Font.Medium
                color: Theme.secondaryInk
            }
            StatusTag {
                id: tag
                objectName: "projectTag"
                anchors.verticalCenter: parent.verticalCenter
                visible: row.statusTagText.length > 0
                text: row.statusTagText
                color: row.statusTagColor
                spinning: row.statusTagSpinning
            }
            PlainLabel {
                objectName: "projectCommand"
                anchors.verticalCenter: parent.verticalCenter
                width: Math.max(0, content.width - x - logSymbol.width - content.spacing)
                text: row.commandText
                size: 9.5
                weight: Font.Medium
                monospaced: true
                color: Theme.tertiaryInk
                opacity: 0.8
                elide: Text.ElideMiddle
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
        }

        Item {
            id: actionArea
            anchors.right: parent.right
            anchors.rightMargin: 12
            anchors.verticalCenter: parent.verticalCenter
            width: row.confirmingForget ? confirm.implicitWidth : cluster.implicitWidth
            height: 22

            HoverHandler {
                id: actionHover
            }

            // Always built, only faded: hovering never creates or destroys the strip. Hidden, it takes no
            // pointer or keyboard input.
            Item {
                id: strip
                objectName: "projectActions"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                width: cluster.implicitWidth
                height: cluster.implicitHeight
                visible: !row.confirmingForget
                enabled: row.controlsShown
                opacity: row.controlsShown ? 1 : 0
                scale: row.controlsShown ? 1 : 0.97
                transformOrigin: Item.Right
                transform: Translate {
                    x: row.controlsShown ? 0 : 6
                    Behavior on x {
                        QuickEase {}
                    }
                }
                Behavior on opacity {
                    QuickEase {}
                }
                Behavior on scale {
                    QuickEase {}
                }

                ActionCluster {
                    id: cluster
                    anchors.fill: parent
                    revealed: row.controlsShown

                    ActionSegment {
                        objectName: "startSegment"
                        systemImage: row.actions.start.symbol
                        help: row.actions.start.help
                        tint: row.actions.start.tint ?? null
                        loading: row.actions.start.loading
                        enabled: !row.actions.start.disabled
                        onClicked: row.listModel.startProject(row.key)
                    }
                    ClusterDivider {
                        shown: row.controlsShown
                    }
                    ActionSegment {
                        objectName: "outputSegment"
                        systemImage: row.actions.showOutput.symbol
                        help: row.actions.showOutput.help
                        accessibilityLabel: row.actions.showOutput.accessibilityLabel
                        accessibilityHint: row.actions.showOutput.accessibilityHint
                        enabled: !row.actions.showOutput.disabled
                        onClicked: {
                            const selection = row.listModel.projectLogSelection(row.key)
                            if (selection !== undefined && selection !== null)
                                row.showLog(selection)
                        }
                    }
                    ClusterDivider {
                        shown: row.controlsShown
                    }
                    ActionSegment {
                        objectName: "revealSegment"
                        systemImage: row.actions.reveal.symbol
                        help: row.actions.reveal.help
                        onClicked: row.listModel.revealProject(row.key)
                    }
                    ClusterDivider {
                        shown: row.controlsShown
                    }
                    ActionSegment {
                        objectName: "forgetSegment"
                        systemImage: row.actions.forget.symbol
                        help: row.actions.forget.help
                        role: ButtonRole.Destructive
                        enabled: !row.actions.forget.disabled
                        onClicked: row.listModel.setConfirming(row.key, true)
                    }
                }
            }

            ConfirmCluster {
                id: confirm
                objectName: "forgetConfirmation"
                anchors.right: parent.right
                anchors.verticalCenter: parent.verticalCenter
                destructiveTitle: "Forget"
                shown: row.confirmingForget
                // Open before the row's view was made again: it stands at once.
                appeared: row.confirmingForget
                onConfirm: {
                    row.listModel.forgetProject(row.key)
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
