import QtQuick
import QtTest
import Porthive

TestCase {
    name: "Theme"

    function test_fixedColours() {
        compare(Theme.red, Qt.rgba(1.0, 0.38, 0.36, 1))
        compare(Theme.amber, Qt.rgba(1.0, 0.78, 0.22, 1))
    }

    function test_fillsFollowTheInk() {
        compare(Theme.faintFill.a, 0.08 * Theme.primaryInk.a)
        compare(Theme.faintFill.r, Theme.primaryInk.r)
    }
}
