// Porthive: the tray icon and its drop-down window.
#include "app/applog.h"
#include "app/menubarscene.h"
#include "app/porthiveapp.h"
#include "platform/desktop/clipboard.h"
#include "platform/desktop/guiplatform.h"
#include "platform/desktop/quitsignals.h"
#include "platform/desktop/singleinstance.h"
#include "platform/desktop/workspace.h"

#include <QApplication>
#include <QProcessEnvironment>
#include <QQuickWindow>
#include <QtQml/qqmlextensionplugin.h>

#include <cstdio>
#include <vector>

using namespace Qt::StringLiterals;

Q_IMPORT_QML_PLUGIN(PorthivePlugin)

namespace {

// What the user should know about this start, on standard error: nothing else tells them.
void tell(const QString& text)
{
    std::fprintf(stderr, "porthive: %s\n", qUtf8Printable(text));
}

} // namespace

int main(int argc, char** argv)
{
    // The platform goes to Qt as its own -platform option, which Qt takes out of the arguments again: the
    // programs the application starts see the environment as the user set it. A -platform the user gave comes
    // later and wins.
    QByteArray platformOption = "-platform";
    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    QByteArray platform = GuiPlatform::preferred(environment).toLocal8Bit();
    std::vector<char*> arguments(argv, argv + argc);
    if (!platform.isEmpty())
        arguments.insert(arguments.begin() + std::min(argc, 1), {platformOption.data(), platform.data()});
    int count = int(arguments.size());
    arguments.push_back(nullptr);

    // The tray icon needs the widgets application.
    QApplication application(count, arguments.data());
    QApplication::setApplicationName(u"porthive"_s);
    QApplication::setApplicationDisplayName(u"Porthive"_s);
    // The window hides and shows again; only Quit ends the application.
    QApplication::setQuitOnLastWindowClosed(false);
    if (platform.isEmpty())
        qCInfo(lcStartup) << "platform" << QGuiApplication::platformName();
    else
        qCInfo(lcStartup) << "platform" << QGuiApplication::platformName() << "of" << platform;
    // Before the first window; a scene graph the user chose stays theirs.
    if (GuiPlatform::prefersSoftwareSceneGraph(environment))
        QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);

    // A second start shows the running instance's window instead of polling the same servers again. An
    // instance that ends while it is asked leaves its place to this start.
    const std::unique_ptr<SingleInstance> instance = SingleInstance::forThisUser();
    bool claimed = instance->claim();
    for (int attempt = 0; !claimed && attempt < 3; ++attempt) {
        switch (instance->activateRunningInstance()) {
        case SingleInstance::Activation::Shown:
            return 0;
        case SingleInstance::Activation::NoAnswer:
            tell(instance->errorString());
            return 1;
        case SingleInstance::Activation::Gone:
            claimed = instance->claim();
            break;
        }
    }
    if (!claimed) {
        tell(u"another Porthive keeps starting and ending; start Porthive again"_s);
        return 1;
    }
    if (!instance->errorString().isEmpty())
        tell(instance->errorString());

    // Logout and Ctrl-C end the event loop like Quit, so pending saves are written.
    QuitSignals quitSignals;
    QObject::connect(&quitSignals, &QuitSignals::quitRequested, &application, &QCoreApplication::quit);

    SystemWorkspace workspace;
    SystemClipboard clipboard;
    PorthiveApp porthive(PorthiveApp::standardEnvironment(workspace), application.arguments());
    MenuBarScene scene(porthive, workspace, clipboard, MenuBarScene::standardSeams());
    QObject::connect(&scene, &MenuBarScene::quitRequested, &application, &QCoreApplication::quit, Qt::QueuedConnection);
    QObject::connect(instance.get(), &SingleInstance::activationRequested, &scene, &MenuBarScene::showWindow);
    scene.start();
    return application.exec();
}
