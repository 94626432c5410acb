#pragma once

#include <QRasterWindow>
#include <QString>

// A tooltip beside a tray icon, for trays that leave tooltips to the icon's own window (the X11 system tray): the
// text as plain text, in the palette's tooltip colours.
class TrayToolTip final : public QRasterWindow
{
    Q_OBJECT

public:
    TrayToolTip();

    // Shows `text` centred under `anchor` (above it in the lower half of the screen), inside the screen.
    void showText(const QString& text, const QRect& anchor);
    QString text() const { return m_text; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
};
