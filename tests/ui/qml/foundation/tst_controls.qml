import QtQuick
import QtTest
import Porthive

// What the user sees of the controls: quiet at rest, filled and bordered under the pointer, faint when
// disabled, a spinner while loading.
TestCase {
    id: testCase
    name: "Controls"
    when: windowShown
    // A TestCase is invisible by default, and invisible items get no hover.
    visible: true
    width: 400
    height: 300

    Component {
        id: iconButtonComponent
        IconButton {
            x: 40
            y: 40
            systemImage: "gearshape"
        }
    }
    Component {
        id: segmentComponent
        ActionSegment {
            x: 40
            y: 40
            systemImage: "terminal"
        }
    }
    Component {
        id: clusterComponent
        ActionCluster {
            x: 40
            y: 100
            revealed: false
            property alias divider: divider
            property alias second: second
            ActionSegment {
                systemImage: "pause.fill"
            }
            ClusterDivider {
                id: divider
                shown: false
            }
            ActionSegment {
                id: second
                systemImage: "arrow.clockwise"
            }
        }
    }
    Component {
        id: confirmComponent
        ConfirmCluster {
            x: 40
            y: 160
            destructiveTitle: "Kill"
        }
    }

    Component {
        id: escapeComponent
        Item {
            id: scene
            property int escapes: 0
            property alias button: button
            Shortcut {
                sequence: "Escape"
                onActivated: scene.escapes++
            }
            IconButton {
                id: button
                x: 40
                y: 200
                systemImage: "gearshape"
                help: "Settings"
            }
        }
    }

    function ink(opacity) {
        return Qt.alpha(Theme.primaryInk, opacity)
    }

    function hover(item) {
        mouseMove(item, item.width / 2 - 1, item.height / 2 - 1)
        mouseMove(item, item.width / 2, item.height / 2)
    }

    function cleanup() {
        mouseMove(testCase, 1, testCase.height - 1)
    }

    function test_iconButtonIsQuietUntilHovered() {
        const button = createTemporaryObject(iconButtonComponent, testCase)
        compare(button.width, 26)
        compare(button.height, 26)
        compare(button.fillColor, Qt.rgba(0, 0, 0, 0))
        compare(button.borderColor, Qt.rgba(0, 0, 0, 0))
        compare(button.foregroundColor, ink(0.62))
        hover(button)
        tryCompare(button, "hovering", true)
        compare(button.fillColor, ink(0.1))
        compare(button.borderColor, Theme.softFill)
        compare(button.foregroundColor, ink(0.95))
        // The drawn fill cross-fades to the hover fill.
        tryCompare(button.background, "color", ink(0.1))
    }

    function test_prominentIconButtonShowsAFaintBorderAtRest() {
        const button = createTemporaryObject(iconButtonComponent, testCase, {prominent: true})
        compare(button.borderColor, Theme.faintFill)
        compare(button.fillColor, Qt.rgba(0, 0, 0, 0))
    }

    function test_destructiveIconButtonTurnsRedUnderThePointer() {
        const button = createTemporaryObject(iconButtonComponent, testCase,
                                             {systemImage: "power", role: ButtonRole.Destructive})
        compare(button.foregroundColor, ink(0.6))
        button.forceHover = true
        compare(button.foregroundColor, Theme.red)
        compare(button.fillColor, Qt.alpha(Theme.red, 0.12))
        compare(button.borderColor, Qt.alpha(Theme.red, 0.5))
    }

    function test_loadingWinsOverSpinning() {
        const button = createTemporaryObject(iconButtonComponent, testCase,
                                             {systemImage: "arrow.clockwise", loading: true, spinning: true})
        const spinner = findChild(button, "loadingSpinner")
        const turning = findChild(button, "spinningIcon")
        const still = findChild(button, "stillSymbol")
        verify(spinner.visible)
        verify(!turning.visible)
        verify(!still.visible)
        button.loading = false
        verify(!spinner.visible)
        verify(turning.visible)
        button.spinning = false
        verify(still.visible)
        verify(!turning.visible)
    }

    function test_foregroundOverrideHoldsWhileLoading() {
        const button = createTemporaryObject(iconButtonComponent, testCase,
                                             {foregroundOverride: Theme.mutedInk, loading: true, prominent: true})
        compare(button.foregroundColor, Theme.mutedInk)
        button.forceHover = true
        compare(button.foregroundColor, Theme.mutedInk)
        compare(button.fillColor, ink(0.1))
    }

    function test_segmentHoverAndDisabledLooks() {
        const segment = createTemporaryObject(segmentComponent, testCase)
        compare(segment.width, 27)
        compare(segment.height, 22)
        compare(segment.foregroundColor, ink(0.72))
        hover(segment)
        tryCompare(segment, "hovering", true)
        compare(segment.foregroundColor, ink(1.0))
        compare(segment.fillColor, ink(0.09))

        // Disabled under the pointer: faint ink, no fill, even while loading.
        segment.enabled = false
        compare(segment.foregroundColor, ink(0.3))
        compare(segment.fillColor, Qt.rgba(0, 0, 0, 0))
        segment.loading = true
        compare(segment.foregroundColor, ink(0.3))
    }

    function test_segmentDisabledByAnEnclosingItem() {
        const cluster = createTemporaryObject(clusterComponent, testCase)
        cluster.enabled = false
        cluster.second.forceHover = true
        compare(cluster.second.foregroundColor, ink(0.3))
        compare(cluster.second.fillColor, Qt.rgba(0, 0, 0, 0))
    }

    function test_segmentIsAnnouncedByItsHelpWithoutALabel() {
        const segment = createTemporaryObject(segmentComponent, testCase, {help: "Reveal in Finder"})
        compare(segment.Accessible.name, "Reveal in Finder")
        segment.accessibilityLabel = "Show server output"
        compare(segment.Accessible.name, "Show server output")
    }

    function test_hiddenDividerKeepsItsPlace() {
        const cluster = createTemporaryObject(clusterComponent, testCase)
        compare(cluster.divider.opacity, 0)
        compare(cluster.divider.width, 1)
        const before = cluster.second.x
        compare(before, 28)
        cluster.revealed = true
        cluster.divider.shown = true
        compare(cluster.divider.opacity, 1)
        compare(cluster.second.x, before)
        compare(cluster.width, 27 + 1 + 27)
    }

    function test_pressShrinksTheButton() {
        const button = createTemporaryObject(iconButtonComponent, testCase)
        let clicks = 0
        button.clicked.connect(() => clicks++)
        mousePress(button)
        tryCompare(button, "scale", 0.95)
        mouseRelease(button)
        tryCompare(button, "scale", 1.0)
        compare(clicks, 1)
    }

    function test_confirmClusterReportsEachSide() {
        const cluster = createTemporaryObject(confirmComponent, testCase)
        let confirmed = 0
        let cancelled = 0
        cluster.confirm.connect(() => confirmed++)
        cluster.cancel.connect(() => cancelled++)
        const cancel = findChild(cluster, "cancelSegment")
        const kill = findChild(cluster, "confirmSegment")
        tryCompare(cluster, "opacity", 1)
        // Titles are drawn in capitals; the destructive side is red.
        compare(kill.look.foreground, Qt.alpha(Theme.red, 0.85))
        compare(cancel.look.foreground, ink(0.7))
        mouseClick(kill)
        compare(confirmed, 1)
        mouseClick(cancel)
        compare(cancelled, 1)
    }

    // The window has one Escape route; a tooltip on screen must not take the key from it.
    function test_aShownTooltipLeavesEscapeToTheWindow() {
        const scene = createTemporaryObject(escapeComponent, testCase)
        hover(scene.button)
        const tip = findChild(scene.button, "helpToolTip")
        tryVerify(() => tip.opened, 3000)
        keyClick(Qt.Key_Escape)
        compare(scene.escapes, 1)
    }
}
