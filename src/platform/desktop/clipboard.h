#pragma once

#include <QString>

// The desktop's clipboard, written as plain text only.
class Clipboard
{
public:
    virtual ~Clipboard() = default;
    virtual void setPlainText(const QString& text) = 0;
};

// QClipboard's text/plain flavour; needs a QGuiApplication.
class SystemClipboard final : public Clipboard
{
public:
    void setPlainText(const QString& text) override;
};
