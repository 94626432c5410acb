// Renders each scene (a QML file of the PorthiveShots module) in a light and a dark palette and saves
// <out>/<scene>-light.png and <out>/<scene>-dark.png. Usage: porthive_screenshots <out folder> [scene name...]
#include <QApplication>
#include <QDir>
#include <QEventLoop>
#include <QFileInfo>
#include <QPalette>
#include <QQmlEngine>
#include <QQuickItem>
#include <QQuickView>
#include <QTextStream>
#include <QTimer>
#include <QtQml/qqmlextensionplugin.h>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(PorthivePlugin)

namespace {

QPalette lightPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0xec, 0xec, 0xec));
    p.setColor(QPalette::WindowText, QColor(0x1d, 0x1d, 0x1f));
    p.setColor(QPalette::Base, Qt::white);
    p.setColor(QPalette::Text, QColor(0x1d, 0x1d, 0x1f));
    p.setColor(QPalette::Button, QColor(0xf4, 0xf4, 0xf4));
    p.setColor(QPalette::ButtonText, QColor(0x1d, 0x1d, 0x1f));
    p.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0xff, 0xff, 0xf0));
    p.setColor(QPalette::ToolTipText, QColor(0x1d, 0x1d, 0x1f));
    return p;
}

QPalette darkPalette()
{
    QPalette p;
    p.setColor(QPalette::Window, QColor(0x24, 0x24, 0x26));
    p.setColor(QPalette::WindowText, QColor(0xf2, 0xf2, 0xf4));
    p.setColor(QPalette::Base, QColor(0x1c, 0x1c, 0x1e));
    p.setColor(QPalette::Text, QColor(0xf2, 0xf2, 0xf4));
    p.setColor(QPalette::Button, QColor(0x3a, 0x3a, 0x3c));
    p.setColor(QPalette::ButtonText, QColor(0xf2, 0xf2, 0xf4));
    p.setColor(QPalette::Highlight, QColor(0x35, 0x84, 0xe4));
    p.setColor(QPalette::HighlightedText, Qt::white);
    p.setColor(QPalette::ToolTipBase, QColor(0x3a, 0x3a, 0x3c));
    p.setColor(QPalette::ToolTipText, QColor(0xf2, 0xf2, 0xf4));
    return p;
}

bool render(const QString& scene, const QString& appearance, const QString& outDir)
{
    QApplication::setPalette(appearance == u"dark"_s ? darkPalette() : lightPalette());
    QQuickView view;
    view.engine()->addImportPath(u"qrc:/qt/qml"_s);
    view.setColor(QApplication::palette().color(QPalette::Window));
    view.setResizeMode(QQuickView::SizeViewToRootObject);
    view.setSource(QUrl(u"qrc:/qt/qml/PorthiveShots/scenes/"_s + scene + u".qml"_s));
    if (view.status() != QQuickView::Ready || !view.rootObject()) {
        QTextStream(stderr) << "scene " << scene << " failed to load\n";
        for (const QQmlError& error : view.errors())
            QTextStream(stderr) << "  " << error.toString() << '\n';
        return false;
    }
    view.show();
    // Let timers, bindings and the first animation frames settle before grabbing.
    const int settleMs =
        view.rootObject()->property("settleMs").isValid() ? view.rootObject()->property("settleMs").toInt() : 400;
    QEventLoop loop;
    QTimer::singleShot(settleMs, &loop, &QEventLoop::quit);
    loop.exec();
    const QString path = QDir(outDir).filePath(scene + u'-' + appearance + u".png"_s);
    if (!view.grabWindow().save(path)) {
        QTextStream(stderr) << "could not write " << path << '\n';
        return false;
    }
    QTextStream(stdout) << path << '\n';
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) {
        QTextStream(stderr) << "usage: porthive_screenshots <out folder> [scene...]\n";
        return 2;
    }
    const QString outDir = args.first();
    QDir().mkpath(outDir);
    QStringList scenes = args.mid(1);
    if (scenes.isEmpty()) {
        const QFileInfoList files =
            QDir(QStringLiteral(PORTHIVE_SCENES_DIR)).entryInfoList({u"*.qml"_s}, QDir::Files, QDir::Name);
        for (const QFileInfo& file : files)
            scenes << file.completeBaseName();
    }
    bool ok = true;
    for (const QString& scene : scenes)
        for (const QString& appearance : {u"light"_s, u"dark"_s})
            ok = render(scene, appearance, outDir) && ok;
    return ok ? 0 : 1;
}
