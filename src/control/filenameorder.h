#pragma once

#include <QStringView>

// Orders file names the way a file browser lists them: letter case ignored, runs of digits compared by their
// value (app2 before app10), the text between them by the user's collation. The digit rule does not depend on
// the collator, which ignores numeric ordering under the C locale. Negative, zero or positive.
int compareFileNames(QStringView a, QStringView b);
