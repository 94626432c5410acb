#include "platform/desktop/clipboard.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>

void SystemClipboard::setPlainText(const QString& text)
{
    // Only text/plain: rich flavours of outside text could be rendered as markup by a paste target.
    auto* data = new QMimeData;
    data->setText(text);
    QGuiApplication::clipboard()->setMimeData(data);
}
