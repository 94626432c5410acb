import QtQuick

// The settings object as the page sees it, recording the calls it gets.
QtObject {
    property bool launchAtLoginEnabled: false
    // Enabled, RequiresApproval, NotFound, NotRegistered, Unknown.
    property int launchAtLoginStatus: 3
    property string launchAtLoginMessage: ""
    property bool groupAgentBrowserSessions: true
    readonly property string approvalMessageText: "Approve Porthive in your desktop's startup settings."
    readonly property string openLoginItemsText: "Open Startup Settings"
    property var calls: []

    function record(call) {
        calls = calls.concat([call])
    }
    function setLaunchAtLoginEnabled(enabled) { record("setLaunchAtLoginEnabled " + enabled) }
    function refreshLaunchAtLoginStatus() { record("refreshLaunchAtLoginStatus") }
    function revealLicensesFile() { record("revealLicensesFile") }
    function openLoginItemSettings() { record("openLoginItemSettings") }
    function openLegalPage(path) { record("openLegalPage " + path) }
    function updateGroupAgentBrowserSessions(group) { record("updateGroupAgentBrowserSessions " + group) }
}
