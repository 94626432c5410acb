import QtQuick
import QtTest
import Porthive

// A control hidden by opacity takes neither keyboard nor pointer input: Tab skips it and a click falls
// through to what lies beneath.
TestCase {
    id: testCase
    name: "HiddenControls"
    when: windowShown
    visible: true
    width: 400
    height: 300

    Component {
        id: rowComponent
        Item {
            id: row
            width: 300
            height: 54
            property int rowClicks: 0
            property int segmentClicks: 0
            property alias before: before
            property alias after: after
            property alias cluster: cluster
            property alias segment: segment

            MouseArea {
                anchors.fill: parent
                onClicked: row.rowClicks++
            }
            IconButton {
                id: before
                x: 0
                systemImage: "gearshape"
            }
            ActionCluster {
                id: cluster
                x: 100
                opacity: 0
                ActionSegment {
                    id: segment
                    systemImage: "pause.fill"
                    onClicked: row.segmentClicks++
                }
                ClusterDivider {}
                ActionSegment {
                    systemImage: "folder"
                    onClicked: row.segmentClicks++
                }
            }
            IconButton {
                id: after
                x: 200
                systemImage: "power"
            }
        }
    }

    function test_tabSkipsAHiddenCluster() {
        const row = createTemporaryObject(rowComponent, testCase)
        row.before.forceActiveFocus(Qt.TabFocusReason)
        verify(row.before.activeFocus)
        keyClick(Qt.Key_Tab)
        verify(row.after.activeFocus, "focus went to a hidden segment")
    }

    function test_spaceDoesNotPressAHiddenSegment() {
        const row = createTemporaryObject(rowComponent, testCase)
        row.segment.forceActiveFocus(Qt.TabFocusReason)
        keyClick(Qt.Key_Space)
        compare(row.segmentClicks, 0)
    }

    function test_clicksFallThroughAHiddenCluster() {
        const row = createTemporaryObject(rowComponent, testCase)
        mouseClick(row.segment)
        compare(row.segmentClicks, 0)
        compare(row.rowClicks, 1)
    }

    function test_shownClusterTakesInput() {
        const row = createTemporaryObject(rowComponent, testCase)
        row.cluster.opacity = 1
        row.before.forceActiveFocus(Qt.TabFocusReason)
        keyClick(Qt.Key_Tab)
        verify(row.segment.activeFocus)
        keyClick(Qt.Key_Space)
        compare(row.segmentClicks, 1)
        mouseClick(row.segment)
        compare(row.segmentClicks, 2)
        compare(row.rowClicks, 0)
    }
}
