pragma ComponentBehavior: Bound
import QtQuick
import QtQuick.Layouts
import QtQuick.Templates as T
import Porthive

// The log page: the captured output of one launch session, re-read every half second while following, with
// copy and reveal in the footer. Escape is the window's: this page has no key handling of its own.
Item {
    id: page

    // A LogSelection.
    required property var selection
    required property ServerStore store
    required property WindowContext context

    signal back()

    readonly property alias model: detail
    readonly property color statusColor: detail.followFace === ServerLogDetailModel.Unavailable
                                         ? Theme.red
                                         : detail.followFace === ServerLogDetailModel.Following
                                           ? Theme.green : Theme.secondaryInk

    implicitWidth: 400
    implicitHeight: detail.pageHeight

    ServerLogDetailModel {
        id: detail
        selection: page.selection
        store: page.store
        context: page.context
        // A hidden window's page reads nothing until it is shown again.
        onScreen: Theme.showsWindow(page.Window.visibility)
    }

    // Shows a changed text (and only a changed one, which keeps a selection otherwise); while following, the
    // end of the log comes into view at once.
    function showText() {
        if (logText.text === detail.text)
            return
        logText.text = detail.text
        if (detail.isFollowing) {
            // The column places the end marker at its next polish; the scroll needs it placed now.
            content.forceLayout()
            scrollToBottom()
        }
    }

    // Puts the end marker at the bottom edge of the log area.
    function scrollToBottom() {
        const bottom = endMarker.y + endMarker.height - logArea.height
        const last = Math.max(0, logArea.contentHeight - logArea.height)
        logArea.contentY = Math.min(Math.max(0, bottom), last)
    }

    // The copy key for a selection in the log, as plain text like the Copy button.
    Shortcut {
        sequences: [StandardKey.Copy]
        enabled: logText.selectedText.length > 0
        onActivated: detail.copyText(logText.selectedText)
    }

    Connections {
        target: detail
        function onTextChanged() {
            page.showText()
        }
    }

    component FaceFill: Rectangle {
        radius: 3
        color: Theme.ink(0.05)
        border.width: 1
        border.color: Theme.softFill
    }

    Column {
        anchors.fill: parent
        spacing: 0

        RowLayout {
            id: header
            x: 12
            width: parent.width - 24
            height: 48
            spacing: 9

            PressableButtonStyle {
                id: backButton
                objectName: "backButton"
                implicitWidth: 24
                implicitHeight: 24
                help: "Back to servers"
                Accessible.name: "Back to servers"
                onClicked: page.back()

                background: FaceFill {}
                contentItem: Item {
                    Symbol {
                        anchors.centerIn: parent
                        name: "chevron.left"
                        size: 10.5
                        font.weight: Font.Bold
                    }
                }
            }

            ColumnLayout {
                Layout.fillWidth: true
                spacing: 2

                RowLayout {
                    id: heading
                    objectName: "heading"
                    Layout.fillWidth: true
                    spacing: 4
                    activeFocusOnTab: true
                    Accessible.role: Accessible.Heading
                    Accessible.name: detail.hasPort ? detail.displayTitle + ":" + detail.portText : detail.displayTitle

                    // As wide as its text, narrower (elided) only when the port would not fit beside it.
                    PlainLabel {
                        objectName: "titleLabel"
                        Layout.fillWidth: true
                        // Whole pixels: the layout rounds, and a fraction less than the text elides it.
                        Layout.preferredWidth: Math.ceil(implicitWidth)
                        Layout.maximumWidth: Math.ceil(implicitWidth)
                        text: detail.displayTitle
                        size: 12.5
                        weight: Font.Bold
                    }
                    PlainLabel {
                        objectName: "portLabel"
                        visible: detail.hasPort
                        text: ":" + detail.portText
                        size: 11
                        weight: Font.DemiBold
                        monospaced: true
                        color: Theme.amber
                    }
                    Item {
                        Layout.fillWidth: true
                    }
                }
                PlainLabel {
                    Layout.fillWidth: true
                    text: "Captured by Porthive"
                    size: 8.5
                    weight: Font.Medium
                    monospaced: true
                    tracking: 0.45
                    upperCase: true
                    color: Theme.tertiaryInk
                }
            }

            Item {
                Layout.minimumWidth: 8
                implicitWidth: 8
            }

            PressableButtonStyle {
                id: followButton
                objectName: "followButton"
                implicitWidth: followFace.implicitWidth + 14
                implicitHeight: 23
                enabled: !detail.unavailable
                help: detail.followHelpText
                Accessible.name: detail.followHelpText
                onClicked: detail.toggleFollowing()

                background: FaceFill {}
                contentItem: Item {
                    Row {
                        id: followFace
                        anchors.centerIn: parent
                        spacing: 5
                        opacity: followButton.enabled ? 1 : 0.75

                        StatusDot {
                            anchors.verticalCenter: parent.verticalCenter
                            color: page.statusColor
                            active: detail.statusDotActive
                        }
                        PlainLabel {
                            objectName: "followLabel"
                            anchors.verticalCenter: parent.verticalCenter
                            text: detail.statusLabel
                            size: 8.5
                            weight: Font.DemiBold
                            monospaced: true
                            tracking: 0.35
                            upperCase: true
                        }
                    }
                }
            }
        }

        HairlineRule {
            width: parent.width
        }

        Rectangle {
            width: parent.width
            height: page.height - header.height - footer.height - 2
            color: Theme.ink(0.025)

            Flickable {
                id: logArea
                objectName: "logArea"
                anchors.fill: parent
                clip: true
                contentWidth: width
                contentHeight: content.height
                boundsBehavior: Flickable.StopAtBounds
                flickableDirection: Flickable.VerticalFlick

                T.ScrollBar.vertical: T.ScrollBar {
                    id: scrollBar
                    policy: T.ScrollBar.AsNeeded
                    padding: 2
                    implicitWidth: 10
                    minimumSize: 0.08
                    contentItem: Rectangle {
                        implicitWidth: 6
                        radius: 3
                        color: Theme.ink(scrollBar.pressed ? 0.5 : 0.35)
                        opacity: (scrollBar.active || scrollBar.hovered) && scrollBar.size < 1 ? 1 : 0
                        Behavior on opacity {
                            NumberAnimation {
                                duration: 250
                            }
                        }
                    }
                }

                Column {
                    id: content
                    width: logArea.width
                    height: Math.max(implicitHeight, detail.minimumContentHeight)
                    padding: 10
                    spacing: 8

                    Row {
                        objectName: "truncationLabel"
                        visible: detail.isTruncated
                        spacing: 5
                        Accessible.role: Accessible.StaticText
                        Accessible.name: "Older output is not shown"

                        Symbol {
                            anchors.verticalCenter: parent.verticalCenter
                            name: "scissors"
                            size: 9
                            color: Theme.orange
                        }
                        PlainLabel {
                            anchors.verticalCenter: parent.verticalCenter
                            text: "Showing the most recent output"
                            size: 9
                            weight: Font.Medium
                            monospaced: true
                            color: Theme.orange
                            Accessible.ignored: true
                        }
                    }

                    // Plain text that can be selected; read-only, so a changed text keeps the scroll position.
                    // It takes no focus: a focused TextEdit claims every key as its own (even when read-only),
                    // and Escape would no longer reach the window. The page copies a selection itself.
                    TextEdit {
                        id: logText
                        objectName: "logText"
                        visible: !detail.unavailable && text.length > 0
                        width: content.width - content.leftPadding - content.rightPadding
                        readOnly: true
                        selectByMouse: true
                        activeFocusOnPress: false
                        persistentSelection: true
                        textFormat: TextEdit.PlainText
                        wrapMode: TextEdit.Wrap
                        font.family: Theme.monospaceFamily
                        font.pointSize: Theme.pointSize(10)
                        color: Theme.ink(0.88)
                        selectionColor: Theme.palette.highlight
                        selectedTextColor: Theme.palette.highlightedText
                        Accessible.role: Accessible.EditableText
                        Accessible.readOnly: true
                        Accessible.name: "Log output"
                    }

                    LogEmptyState {
                        objectName: "unavailableState"
                        visible: detail.unavailable
                        width: content.width - content.leftPadding - content.rightPadding
                        systemImage: "exclamationmark.triangle"
                        title: "Log unavailable"
                        note: "The local log file may have been moved or removed."
                    }

                    LogEmptyState {
                        objectName: "emptyState"
                        visible: !detail.unavailable && detail.text.length === 0
                        width: content.width - content.leftPadding - content.rightPadding
                        systemImage: "terminal"
                        title: "No output yet"
                        note: "Porthive is following this launch session."
                    }

                    Item {
                        id: endMarker
                        objectName: detail.bottomID
                        width: content.width - content.leftPadding - content.rightPadding
                        height: 1
                    }
                }
            }
        }

        HairlineRule {
            width: parent.width
        }

        RowLayout {
            id: footer
            x: 12
            width: parent.width - 24
            height: 44
            spacing: 6

            LogActionButton {
                objectName: "copyButton"
                title: detail.copied ? "Copied" : "Copy"
                systemImage: detail.copied ? "checkmark" : "doc.on.doc"
                enabled: detail.canCopy
                onClicked: detail.copyLog()
            }
            LogActionButton {
                objectName: "revealButton"
                title: "Reveal Raw Log"
                systemImage: "folder"
                enabled: !detail.unavailable
                onClicked: detail.revealRawLog()
            }
            Item {
                Layout.fillWidth: true
            }
            PlainLabel {
                objectName: "truncationTag"
                Layout.preferredWidth: Math.ceil(implicitWidth)
                visible: detail.isTruncated
                text: "Last 128 KB"
                size: 8.5
                weight: Font.Medium
                monospaced: true
                tracking: 0.35
                upperCase: true
                color: Theme.tertiaryInk
            }
        }
    }

    // Assistive focus starts on the title.
    Component.onCompleted: heading.forceActiveFocus()
}
