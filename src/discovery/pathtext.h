#pragma once

#include <QString>

// The last component of a path, trailing slashes ignored ("/" stays "/").
QString lastPathComponent(const QString& path);
