#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

// Files and process facts the tests read back, as the kernel shows them.
namespace ProcessFiles {

// The whole file, empty when it cannot be read.
QByteArray readFile(const QString& path);
bool writeFile(const QString& path, const QByteArray& bytes);

// The state letter of /proc/<pid>/stat ('R', 'S', 'T', 'Z', ...), or 0 when the process is gone.
char processState(qint32 pid);
// Gone, or a zombie: nothing in a test reaps the grandchildren of a login shell.
bool isGone(qint32 pid);
// Field `index` of /proc/<pid>/stat after the command name (0 is the state, 1 the parent, 3 the session); -1 when
// the process is gone.
qint64 statField(qint32 pid, int index);
// NAME=value entries of /proc/<pid>/environ.
QList<QByteArray> environmentOf(qint32 pid);

} // namespace ProcessFiles
