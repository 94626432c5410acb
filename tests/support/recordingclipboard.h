#pragma once

#include "platform/desktop/clipboard.h"

#include <QStringList>

// Records every text put on the clipboard.
class RecordingClipboard final : public Clipboard
{
public:
    void setPlainText(const QString& text) override { texts.append(text); }

    QStringList texts;
};
