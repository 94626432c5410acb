#pragma once

#include <QString>

// The private folder that holds the captured output of launched servers.
QString privateLogFolder();
