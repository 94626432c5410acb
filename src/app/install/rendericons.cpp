// Renders the application's icon for the icon theme from the tray icon's own drawing: PNG files at the given
// sizes and one SVG file, as <folder>/hicolor/<n>x<n>/apps/<name>.png and <folder>/hicolor/scalable/apps/<name>.svg.
//
//   porthive_render_icons <folder> <name> <size>...
#include "app/statusicon.h"

#include <QDir>
#include <QGuiApplication>
#include <QPainter>
#include <QSvgGenerator>

#include <cstdio>

using namespace Qt::StringLiterals;

namespace {

// The drawing is made for tray sizes; the theme's scalable icon is described on this square.
constexpr int svgSide = 256;

bool writePng(const QString& folder, const QString& name, int size)
{
    const QString path = QDir(folder).filePath(u"hicolor/%1x%1/apps/%2.png"_s.arg(size).arg(name));
    const QImage image = StatusIcon::render(StatusIcon::applicationLabel(), size, 1);
    return QDir().mkpath(QFileInfo(path).path()) && image.save(path, "PNG");
}

bool writeSvg(const QString& folder, const QString& name)
{
    const QString path = QDir(folder).filePath(u"hicolor/scalable/apps/%1.svg"_s.arg(name));
    if (!QDir().mkpath(QFileInfo(path).path()))
        return false;
    QSvgGenerator svg;
    svg.setFileName(path);
    svg.setSize(QSize(svgSide, svgSide));
    svg.setViewBox(QRect(0, 0, svgSide, svgSide));
    svg.setTitle(u"Porthive"_s);
    QPainter painter;
    if (!painter.begin(&svg))
        return false;
    StatusIcon::paint(painter, StatusIcon::applicationLabel(), svgSide);
    return painter.end();
}

} // namespace

int main(int argc, char** argv)
{
    QGuiApplication application(argc, argv);
    const QStringList arguments = QGuiApplication::arguments();
    if (arguments.size() < 4) {
        std::fputs("usage: porthive_render_icons <folder> <name> <size>...\n", stderr);
        return 2;
    }
    const QString folder = arguments.at(1);
    const QString name = arguments.at(2);
    for (const QString& text : arguments.mid(3)) {
        bool ok = false;
        const int size = text.toInt(&ok);
        if (!ok || size <= 0 || !writePng(folder, name, size)) {
            std::fprintf(stderr, "could not write the %s icon\n", qPrintable(text));
            return 1;
        }
    }
    if (!writeSvg(folder, name)) {
        std::fputs("could not write the scalable icon\n", stderr);
        return 1;
    }
    return 0;
}
