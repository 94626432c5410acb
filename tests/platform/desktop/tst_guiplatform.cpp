#include "platform/desktop/guiplatform.h"
#include "support/testhome.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestGuiPlatform : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void preferred_data();
    void preferred();
    void softwareSceneGraph_data();
    void softwareSceneGraph();

private:
    static QProcessEnvironment environmentOf(const QStringList& variables);
};

QProcessEnvironment TestGuiPlatform::environmentOf(const QStringList& variables)
{
    QProcessEnvironment environment;
    for (const QString& variable : variables)
        environment.insert(variable.section(u'=', 0, 0), variable.section(u'=', 1));
    return environment;
}

void TestGuiPlatform::preferred_data()
{
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<QString>("platform");

    const QString keep;
    // X11 first; Wayland when no X server answers.
    const QString xcbFirst = u"xcb;wayland"_s;
    QTest::newRow("wayland session with XWayland")
        << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"WAYLAND_DISPLAY=wayland-0"_s, u"DISPLAY=:0"_s} << xcbFirst;
    QTest::newRow("session type alone") << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"DISPLAY=:1"_s} << xcbFirst;
    QTest::newRow("wayland display alone") << QStringList{u"WAYLAND_DISPLAY=wayland-1"_s, u"DISPLAY=:0"_s} << xcbFirst;
    QTest::newRow("empty choice is no choice")
        << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"DISPLAY=:0"_s, u"QT_QPA_PLATFORM="_s} << xcbFirst;
    QTest::newRow("wayland without X11") << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"WAYLAND_DISPLAY=wayland-0"_s}
                                         << keep;
    QTest::newRow("empty DISPLAY") << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"DISPLAY="_s} << keep;
    QTest::newRow("the user's wayland") << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"DISPLAY=:0"_s,
                                                       u"QT_QPA_PLATFORM=wayland"_s}
                                        << keep;
    QTest::newRow("the user's list") << QStringList{u"WAYLAND_DISPLAY=wayland-0"_s, u"DISPLAY=:0"_s,
                                                    u"QT_QPA_PLATFORM=wayland;xcb"_s}
                                     << keep;
    QTest::newRow("the user's xcb") << QStringList{u"XDG_SESSION_TYPE=wayland"_s, u"DISPLAY=:0"_s,
                                                   u"QT_QPA_PLATFORM=xcb"_s}
                                    << keep;
    QTest::newRow("X11 session") << QStringList{u"XDG_SESSION_TYPE=x11"_s, u"DISPLAY=:0"_s} << keep;
    QTest::newRow("empty wayland display") << QStringList{u"WAYLAND_DISPLAY="_s, u"DISPLAY=:0"_s} << keep;
    QTest::newRow("console") << QStringList{u"XDG_SESSION_TYPE=tty"_s} << keep;
    QTest::newRow("nothing set") << QStringList{} << keep;
}

void TestGuiPlatform::preferred()
{
    QFETCH(QStringList, variables);
    QFETCH(QString, platform);
    QCOMPARE(GuiPlatform::preferred(environmentOf(variables)), platform);
}

void TestGuiPlatform::softwareSceneGraph_data()
{
    QTest::addColumn<QStringList>("variables");
    QTest::addColumn<bool>("software");
    QTest::newRow("no choice") << QStringList{u"DISPLAY=:0"_s} << true;
    QTest::newRow("empty choice is no choice") << QStringList{u"QT_QUICK_BACKEND="_s, u"QSG_RHI_BACKEND="_s} << true;
    QTest::newRow("the user's backend") << QStringList{u"QT_QUICK_BACKEND=rhi"_s} << false;
    QTest::newRow("the user's software backend") << QStringList{u"QT_QUICK_BACKEND=software"_s} << false;
    QTest::newRow("the older name") << QStringList{u"QMLSCENE_DEVICE=rhi"_s} << false;
    QTest::newRow("the user's graphics API") << QStringList{u"QSG_RHI_BACKEND=opengl"_s} << false;
}

void TestGuiPlatform::softwareSceneGraph()
{
    QFETCH(QStringList, variables);
    QFETCH(bool, software);
    QCOMPARE(GuiPlatform::prefersSoftwareSceneGraph(environmentOf(variables)), software);
}

PORTHIVE_TEST_MAIN(TestGuiPlatform)
#include "tst_guiplatform.moc"
