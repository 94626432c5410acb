import QtQuick
import QtQuick.Templates as T
import Porthive

// The one row that stands for every agent-browser session: how many, and where they run. A click opens the
// session that answered HTTP, else the first one.
T.AbstractButton {
    id: row

    required property string key
    required property string sessionsText
    required property string summaryText
    required property string tooltipText
    required property bool showsDivider
    required property int staggerIndex

    property ServerListModel listModel

    property bool hovering: false
    readonly property var accentBar: listModel.groupAccentBar(hovering)

    implicitWidth: 400
    implicitHeight: 36
    height: 36
    hoverEnabled: true
    focusPolicy: Qt.TabFocus
    padding: 0
    Accessible.name: "Agent Browser, " + sessionsText
    onHoveredChanged: hovering = hovered
    onClicked: listModel.openAgentBrowserGroup()

    PlainToolTip {
        text: row.tooltipText
        visible: row.hovered
    }

    background: null
    contentItem: StaggeredAppear {
        objectName: "rowAppear"
        index: row.staggerIndex
        shownBefore: row.listModel.hasAppeared(row.key)
        onShownChanged: row.listModel.markAppeared(row.key)

        Rectangle {
            anchors.fill: parent
            color: row.listModel.groupRowBackground(row.hovering)
            Behavior on color {
                QuickEase {}
            }
        }

        Row {
            anchors.fill: parent
            anchors.leftMargin: 12
            anchors.rightMargin: 12
            spacing: 8

            RuntimeBadge {
                anchors.verticalCenter: parent.verticalCenter
                kind: "agentBrowser"
                dimmed: true
                live: true
                side: 22
            }
            Row {
                id: texts
                anchors.verticalCenter: parent.verticalCenter
                width: parent.width - 22 - parent.spacing
                spacing: 6

                PlainLabel {
                    id: name
                    anchors.verticalCenter: parent.verticalCenter
                    text: "Agent Browser"
                    size: 12
                    weight: Font.Medium
                    color: Theme.secondaryInk
                }
                StatusTag {
                    id: sessions
                    objectName: "sessionsTag"
                    anchors.verticalCenter: parent.verticalCenter
                    text: row.sessionsText
                    color: Theme.accentColor("agentBrowser")
                }
                PlainLabel {
                    objectName: "groupSummary"
                    anchors.verticalCenter: parent.verticalCenter
                    width: Math.min(implicitWidth, Math.max(0, texts.width - x))
                    text: row.summaryText
                    size: 9.5
                    weight: Font.Medium
                    monospaced: true
                    color: Theme.tertiaryInk
                }
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
