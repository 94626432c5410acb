#pragma once

#include "platform/desktop/workspace.h"

#include <QList>
#include <QStringList>
#include <QUrl>

// Records what would have been shown or opened and answers with `answer`.
class RecordingWorkspace final : public Workspace
{
public:
    bool revealPath(const QString& path) override
    {
        revealedPaths.append(path);
        return answer;
    }
    bool openURL(const QUrl& url) override
    {
        openedURLs.append(url);
        return answer;
    }

    QStringList revealedPaths;
    QList<QUrl> openedURLs;
    bool answer = true;
};
