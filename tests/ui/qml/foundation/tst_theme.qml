import QtQuick
import QtTest
import Porthive
import PorthiveTest

TestCase {
    id: testCase
    name: "Theme"
    when: windowShown

    Component {
        id: labelComponent
        PlainLabel {
            text: "Porthive watches the local development servers of this machine"
        }
    }

    function cleanup() {
        Appearance.setDark(false)
    }

    function test_fixedColours() {
        compare(Theme.red, Qt.rgba(1.0, 0.38, 0.36, 1))
        compare(Theme.amber, Qt.rgba(1.0, 0.78, 0.22, 1))
        compare(Theme.green, Qt.rgba(0.27, 0.83, 0.46, 1))
        compare(Theme.orange, Qt.rgba(1.0, 0.66, 0.2, 1))
    }

    function test_fillsFollowTheInk() {
        compare(Theme.faintFill.a, 0.08 * Theme.primaryInk.a)
        compare(Theme.faintFill.r, Theme.primaryInk.r)
        compare(Theme.softFill, Qt.alpha(Theme.primaryInk, 0.16))
        compare(Theme.mutedInk, Qt.alpha(Theme.primaryInk, 0.5))
    }

    function test_inksFollowTheAppearance() {
        Appearance.setDark(false)
        const light = Theme.primaryInk
        verify(light.hslLightness < 0.5)
        Appearance.setDark(true)
        tryVerify(() => Theme.primaryInk.hslLightness > 0.5)
        compare(Theme.faintFill, Qt.alpha(Theme.primaryInk, 0.08))
        compare(Theme.mutedInk, Qt.alpha(Theme.primaryInk, 0.5))
    }

    function test_accents_data() {
        return [{tag: "agentBrowser", color: Qt.rgba(0.36, 0.62, 1.0, 1)},
                {tag: "next", color: Qt.rgba(0.82, 0.84, 0.90, 1)}, {tag: "vite", color: Qt.rgba(0.67, 0.45, 1.0, 1)},
                {tag: "node", color: Theme.green}, {tag: "bun", color: Qt.rgba(1.0, 0.58, 0.78, 1)}]
    }

    function test_accents(data) {
        Appearance.setDark(true)
        tryVerify(() => Theme.primaryInk.hslLightness > 0.5)
        compare(Theme.accentColor(data.tag), data.color)
        // On a light window the near-white next accent would vanish: it is drawn in the ink there.
        Appearance.setDark(false)
        tryVerify(() => Theme.primaryInk.hslLightness < 0.5)
        compare(Theme.accentColor(data.tag), data.tag === "next" ? Theme.primaryInk : data.color)
    }

    function test_animationSettings() {
        compare(Theme.quickEase.duration, 120)
        compare(Theme.quickEase.type, Easing.BezierSpline)
        // The spring's curve starts at rest, rises to within 0.2 % of its end before the last third, and ends.
        const curve = Theme.panelSpring.bezierCurve
        compare(curve.length % 6, 0)
        compare(curve[curve.length - 2], 1.0)
        compare(curve[curve.length - 1], 1.0)
        for (let i = 0; i + 6 <= curve.length; i += 6)
            verify(curve[i + 4] > (i === 0 ? 0 : curve[i - 2]), "segment ends must grow")
        compare(Theme.panelSpring.duration, 420)
    }

    // Sizes are fractional logical pixels: the label asks for exactly 13.5 (Qt's font engine then draws the
    // nearest whole pixel size), never a truncated 13 from the integer pixelSize.
    function test_fractionalFontSizes() {
        const at13 = createTemporaryObject(labelComponent, testCase, {size: 13})
        const at135 = createTemporaryObject(labelComponent, testCase, {size: 13.5})
        const at14 = createTemporaryObject(labelComponent, testCase, {size: 14})
        const dpi = Math.round(Screen.logicalPixelDensity * 25.4)
        fuzzyCompare(at135.font.pointSize * dpi / 72, 13.5, 1e-6)
        fuzzyCompare(Theme.pointSize(9.5) * dpi / 72, 9.5, 1e-6)
        verify(at13.implicitWidth <= at135.implicitWidth)
        verify(at135.implicitWidth <= at14.implicitWidth)
        verify(at13.implicitWidth < at14.implicitWidth)
    }
}
