#pragma once

#include <QString>

// The open-source notices shipped with the application, "LICENSES.md": beside the installed program in
// <prefix>/share/porthive, in the user's or the system's data folders, or next to the program in the build tree.
// Empty when there is none.
QString locateLicensesFile(const QString& applicationFolder);
