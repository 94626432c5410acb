import QtQuick
import Porthive

// The list page. For now it shows only the empty state, scanning while the store refreshes.
Item {
    id: host

    required property ServerStore store
    required property QtObject settings
    required property WindowState windowState
    required property WindowContext context

    readonly property HeaderModel status: HeaderModel {
        store: host.store
    }

    implicitHeight: empty.implicitHeight

    EmptyState {
        id: empty
        width: host.width
        isScanning: host.status.refreshing
    }
}
