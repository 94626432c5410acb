import QtQuick

QtObject {
    property bool canCheckForUpdates: true
    property int checks: 0

    function checkForUpdates() { checks += 1 }
}
