import QtQuick
import QtTest
import Porthive

// Rows appear one after another, spinners turn, and both keep still when the desktop asks for reduced motion.
TestCase {
    id: testCase
    name: "Motion"
    when: windowShown
    visible: true
    width: 400
    height: 300

    Component {
        id: appearComponent
        StaggeredAppear {
            Rectangle {
                width: 100
                height: 36
            }
        }
    }
    Component {
        id: spinnerComponent
        SpinningIcon {
            systemImage: "arrow.clockwise"
        }
    }

    Component {
        id: windowComponent
        Window {
            readonly property alias icon: icon
            readonly property alias spinner: spinner
            readonly property alias glyph: glyph
            readonly property alias appear: appear
            readonly property alias section: section

            width: 120
            height: 200
            visible: false

            SpinningIcon {
                id: icon
                systemImage: "arrow.clockwise"
            }
            ActivitySpinner {
                id: spinner
                x: 30
            }
            ScannerGlyph {
                id: glyph
                y: 40
                scanning: true
            }
            StaggeredAppear {
                id: appear
                y: 100
                Rectangle {
                    width: 100
                    height: 36
                }
            }
            SectionHeader {
                id: section
                y: 140
                key: "Today"
                title: "Today"
                count: 3
                secondaryAccent: true
            }
        }
    }
    Component {
        id: tagComponent
        StatusTag {
            text: "Restarting"
            spinning: true
        }
    }

    function cleanup() {
        MotionPreference.reduceMotion = false
    }

    function test_staggerDelay_data() {
        return [{tag: "first row", index: 0, delay: 0}, {tag: "fourth row", index: 3, delay: 54},
                {tag: "twelfth row", index: 12, delay: 216}, {tag: "capped at 0.22 s", index: 13, delay: 220},
                {tag: "row 20 waits 0.22 s, not 0.36 s", index: 20, delay: 220}]
    }

    function test_staggerDelay(data) {
        const row = createTemporaryObject(appearComponent, testCase, {index: data.index})
        compare(row.delay, data.delay)
    }

    function test_rowFadesInAndRises() {
        const row = createTemporaryObject(appearComponent, testCase, {index: 2})
        compare(row.opacity, 0)
        compare(row.transform[0].y, 3)
        verify(row.animating)
        tryCompare(row, "opacity", 1)
        compare(row.transform[0].y, 0)
        verify(!row.animating)
    }

    function test_reduceMotionShowsRowsAtOnce() {
        MotionPreference.reduceMotion = true
        compare(Theme.reduceMotion, true)
        const row = createTemporaryObject(appearComponent, testCase, {index: 20})
        compare(row.opacity, 1)
        compare(row.transform[0].y, 0)
        verify(!row.animating)
    }

    function test_reduceMotionMidwayFinishesTheRow() {
        const row = createTemporaryObject(appearComponent, testCase, {index: 20})
        verify(row.animating)
        MotionPreference.reduceMotion = true
        compare(row.opacity, 1)
        verify(!row.animating)
    }

    function test_spinnerTurns() {
        const icon = createTemporaryObject(spinnerComponent, testCase)
        verify(icon.turning)
        tryVerify(() => icon.angle > 0)
    }

    function test_reduceMotionStopsTheSpinner() {
        MotionPreference.reduceMotion = true
        const icon = createTemporaryObject(spinnerComponent, testCase)
        verify(!icon.turning)
        compare(icon.angle, 0)
    }

    function test_reduceMotionSwitchedOnStopsATurningSpinner() {
        const icon = createTemporaryObject(spinnerComponent, testCase)
        tryVerify(() => icon.angle > 0)
        MotionPreference.reduceMotion = true
        verify(!icon.turning)
        compare(icon.angle, 0)
    }

    // A window that is not on screen draws nothing, so nothing in it may keep the animation timer going.
    function test_nothingTurnsWhileTheWindowIsHidden() {
        const window = createTemporaryObject(windowComponent, testCase)
        verify(!window.icon.turning)
        verify(!window.spinner.turning)
        verify(!window.glyph.sweeping)

        window.show()
        tryVerify(() => window.icon.turning && window.spinner.turning && window.glyph.sweeping)
        tryVerify(() => window.icon.angle > 0)

        window.hide()
        verify(!window.icon.turning)
        compare(window.icon.angle, 0)
        verify(!window.spinner.turning)
        verify(!window.glyph.sweeping)
        // What changes while hidden takes its new value at once.
        window.section.count = 7
        compare(window.section.shownCount, 7)
    }

    function test_aRowMadeInAHiddenWindowAppearsWhenItIsShown() {
        const window = createTemporaryObject(windowComponent, testCase)
        verify(!window.appear.shown)
        verify(!window.appear.animating)
        compare(window.appear.opacity, 0)

        window.show()
        verify(window.appear.shown)
        verify(window.appear.animating)
        tryCompare(window.appear, "opacity", 1)
    }

    function test_aHiddenTagsSpinnerDoesNotTurn() {
        const tag = createTemporaryObject(tagComponent, testCase, {visible: false})
        const spinner = findChild(tag, "tagSpinner")
        verify(!spinner.turning)
        tag.visible = true
        verify(spinner.turning)
        tag.spinning = false
        verify(!spinner.turning)
    }

    function test_spinningButtonShowsAStillSymbolWithReducedMotion() {
        MotionPreference.reduceMotion = true
        const button = createTemporaryObject(Qt.createComponent("qrc:/qt/qml/Porthive/qml/IconButton.qml"),
                                             testCase, {systemImage: "arrow.clockwise", spinning: true})
        const turning = findChild(button, "spinningIcon")
        verify(turning.visible)
        verify(!turning.turning)
        compare(turning.angle, 0)
    }
}
