#include "platform/storage/licensesfile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::StringLiterals;

QString locateLicensesFile(const QString& applicationFolder)
{
    const QString fileName = u"LICENSES.md"_s;
    const QDir folder(applicationFolder);
    QStringList candidates = {folder.filePath(u"../share/porthive/"_s + fileName)};
    const QString installed = QStandardPaths::locate(QStandardPaths::GenericDataLocation, u"porthive/"_s + fileName);
    if (!installed.isEmpty())
        candidates.append(installed);
    candidates.append(folder.filePath(fileName));
    for (const QString& candidate : std::as_const(candidates)) {
        const QFileInfo info(candidate);
        if (info.isFile() && info.isReadable())
            return info.canonicalFilePath();
    }
    return {};
}
