#pragma once

#include <QString>

// Texts that name the desktop's own tools: the macOS wording there, a Linux wording elsewhere.
namespace PlatformTexts {

// Shown when the system holds the login item for the user's approval.
QString loginItemApprovalMessage();
// The action that opens the system's settings of programs started at login.
QString openLoginItemSettings();
// The action that shows a project folder in the file manager.
QString revealInFileManager();

} // namespace PlatformTexts
