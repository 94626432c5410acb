import QtQuick
import Porthive

// A notice under a setting, in orange, on as many lines as it needs.
PlainLabel {
    size: 11.5
    weight: Font.Medium
    color: Theme.orange
    wrapMode: Text.Wrap
    maximumLineCount: 100
    elide: Text.ElideNone
}
