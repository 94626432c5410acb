#include "support/processfiles.h"

#include <QFile>

using namespace Qt::StringLiterals;

namespace ProcessFiles {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

char processState(qint32 pid)
{
    const QByteArray stat = readFile(u"/proc/%1/stat"_s.arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    return close < 0 || close + 2 >= stat.size() ? 0 : stat.at(close + 2);
}

bool isGone(qint32 pid)
{
    const char state = processState(pid);
    return state == 0 || state == 'Z';
}

qint64 statField(qint32 pid, int index)
{
    const QByteArray stat = readFile(u"/proc/%1/stat"_s.arg(pid));
    const qsizetype close = stat.lastIndexOf(')');
    if (close < 0)
        return -1;
    const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
    return fields.size() > index ? fields.at(index).toLongLong() : -1;
}

QList<QByteArray> environmentOf(qint32 pid)
{
    return readFile(u"/proc/%1/environ"_s.arg(pid)).split('\0');
}

} // namespace ProcessFiles
