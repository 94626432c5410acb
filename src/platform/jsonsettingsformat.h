#pragma once

#include <QSettings>

// A QSettings format that stores one flat JSON object, so Booleans, numbers and text keep their types.
// Byte arrays are stored as {"$base64": "..."}.
QSettings::Format jsonSettingsFormat();
