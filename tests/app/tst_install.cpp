// `cmake --install` of the real build into a temporary prefix: the application-menu entry is valid for the
// desktop's own validator, starts the installed program and names an installed icon, which is the tray icon's
// drawing; the autostart entry names the same icon; the installed programs carry no debug information.
#include "app/statusicon.h"
#include "platform/desktop/desktopentry.h"
#include "platform/desktop/loginitemservice.h"
#include "support/testhome.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QProcess>
#include <QStandardPaths>
#include <QSvgRenderer>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int installTimeout = 120000;

// The mean difference of the colour channels, 0 to 255, of two images of the same size.
double difference(const QImage& a, const QImage& b)
{
    double sum = 0;
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y);
            const QRgb q = b.pixel(x, y);
            sum += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) + std::abs(qBlue(p) - qBlue(q)) +
                   std::abs(qAlpha(p) - qAlpha(q));
        }
    }
    return sum / (4.0 * a.width() * a.height());
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void menuEntryIsValid();
    void menuEntryStartsTheInstalledProgram();
    void iconIsTheTrayDrawing();
    void autostartEntryNamesTheSameIcon();
    void installedProgramsAreStripped_data();
    void installedProgramsAreStripped();
    void strippedLogWriterStillCopies();

private:
    QHash<QString, QString> entry() const;

    QTemporaryDir m_scratch;
    // A prefix with a space, as a home folder may have: the Exec key has to quote it.
    QString m_prefix;
    QString m_entryPath;
};

void TestInstall::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    m_prefix = m_scratch.filePath(u"my prefix"_s);
    QProcess install;
    install.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    install.start(QStringLiteral(PORTHIVE_CMAKE_COMMAND),
                  {u"--install"_s, QStringLiteral(PORTHIVE_BUILD_DIR), u"--prefix"_s, m_prefix});
    QVERIFY(install.waitForFinished(installTimeout));
    const QByteArray log = install.readAllStandardOutput();
    QVERIFY2(install.exitStatus() == QProcess::NormalExit && install.exitCode() == 0, log.constData());

    const QStringList entries = QDir(m_prefix + u"/share/applications"_s).entryList({u"*.desktop"_s}, QDir::Files);
    QCOMPARE(entries, QStringList{u"com.vemo.porthive.desktop"_s});
    m_entryPath = m_prefix + u"/share/applications/"_s + entries.constFirst();
    QVERIFY(QFile::exists(m_prefix + u"/share/porthive/LICENSES.md"_s));
}

QHash<QString, QString> TestInstall::entry() const
{
    QFile file(m_entryPath);
    return file.open(QIODevice::ReadOnly) ? DesktopEntry::readGroup(file.readAll()) : QHash<QString, QString>{};
}

void TestInstall::menuEntryIsValid()
{
    const QString validator = QStandardPaths::findExecutable(u"desktop-file-validate"_s);
    if (validator.isEmpty())
        QSKIP("desktop-file-validate is not installed (scripts/setup installs it)");
    QProcess validate;
    validate.setProcessChannelMode(QProcess::MergedChannels);
    validate.start(validator, {m_entryPath});
    QVERIFY(validate.waitForFinished(installTimeout));
    const QByteArray said = validate.readAll();
    // Neither errors nor warnings nor hints.
    QVERIFY2(validate.exitCode() == 0 && said.trimmed().isEmpty(), said.constData());

    const QHash<QString, QString> keys = entry();
    QCOMPARE(keys.value(u"Type"_s), u"Application"_s);
    QCOMPARE(keys.value(u"Name"_s), u"Porthive"_s);
    QCOMPARE(keys.value(u"Categories"_s), u"Development;"_s);
    QVERIFY(!keys.contains(u"NoDisplay"_s));
}

void TestInstall::menuEntryStartsTheInstalledProgram()
{
    const std::optional<QStringList> command = DesktopEntry::parseExecValue(entry().value(u"Exec"_s));
    QVERIFY(command.has_value());
    const QString program = m_prefix + u"/bin/porthive"_s;
    QCOMPARE(*command, QStringList{program});
    const QFileInfo info(program);
    QVERIFY(info.isFile() && info.isExecutable());
    // The program finds its log writer from where it is installed, whatever the prefix.
    const QFileInfo writer(info.absolutePath() + u'/' + QStringLiteral(PORTHIVE_LOG_WRITER_FROM_PROGRAM));
    QVERIFY2(writer.isFile() && writer.isExecutable(), qPrintable(writer.filePath()));
}

void TestInstall::iconIsTheTrayDrawing()
{
    const QString icon = entry().value(u"Icon"_s);
    QVERIFY(!icon.isEmpty());
    QVERIFY(!icon.contains(u'/'));
    // The theme's lookup: <size>/apps/<name>.png or scalable/apps/<name>.svg under hicolor.
    const QString theme = m_prefix + u"/share/icons/hicolor"_s;
    QList<int> sizes;
    QDirIterator folders(theme, QDir::Dirs | QDir::NoDotAndDotDot);
    while (folders.hasNext()) {
        const QString folder = QFileInfo(folders.next()).fileName();
        const QString png = theme + u'/' + folder + u"/apps/"_s + icon + u".png"_s;
        if (folder == u"scalable"_s || !QFile::exists(png))
            continue;
        const int size = folder.section(u'x', 0, 0).toInt();
        QCOMPARE(folder, u"%1x%1"_s.arg(size));
        const QImage shown(png);
        QCOMPARE(shown.size(), QSize(size, size));
        const QImage drawn = StatusIcon::render(StatusIcon::applicationLabel(), size, 1);
        QCOMPARE(shown.convertToFormat(QImage::Format_ARGB32), drawn.convertToFormat(QImage::Format_ARGB32));
        sizes.append(size);
    }
    std::sort(sizes.begin(), sizes.end());
    QCOMPARE(sizes, (QList<int>{16, 22, 24, 32, 48, 64, 128, 256}));

    // The scalable one draws the same bolt.
    QSvgRenderer svg(theme + u"/scalable/apps/"_s + icon + u".svg"_s);
    QVERIFY(svg.isValid());
    QImage vector(64, 64, QImage::Format_ARGB32);
    vector.fill(Qt::transparent);
    {
        QPainter painter(&vector);
        svg.render(&painter);
    }
    const QImage drawn =
        StatusIcon::render(StatusIcon::applicationLabel(), 64, 1).convertToFormat(QImage::Format_ARGB32);
    const double off = difference(vector, drawn);
    QVERIFY2(off < 4, qPrintable(QString::number(off)));
}

void TestInstall::autostartEntryNamesTheSameIcon()
{
    QCOMPARE(XdgAutostartLoginItem::standardOptions().icon, entry().value(u"Icon"_s));
}

void TestInstall::installedProgramsAreStripped_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("program") << u"bin/porthive"_s;
    QTest::newRow("log writer") << u"libexec/porthive/porthive-log-writer"_s;
}

void TestInstall::installedProgramsAreStripped()
{
    QFETCH(QString, path);
    QProcess readelf;
    readelf.start(QStringLiteral(PORTHIVE_READELF), {u"--section-headers"_s, u"--wide"_s, m_prefix + u'/' + path});
    QVERIFY(readelf.waitForFinished(installTimeout));
    QVERIFY2(readelf.exitStatus() == QProcess::NormalExit && readelf.exitCode() == 0,
             readelf.readAllStandardError().constData());
    const QString sections = QString::fromUtf8(readelf.readAllStandardOutput());
    QVERIFY2(sections.contains(u" .text "_s), qPrintable(sections));
    QVERIFY2(!sections.contains(u".debug_"_s), qPrintable(sections));
    QVERIFY2(!sections.contains(u" .symtab "_s), qPrintable(sections));
}

void TestInstall::strippedLogWriterStillCopies()
{
    const QString log = m_scratch.filePath(u"copied.log"_s);
    QProcess writer;
    writer.setStandardOutputFile(log);
    writer.start(m_prefix + u"/libexec/porthive/porthive-log-writer"_s, {});
    QVERIFY(writer.waitForStarted(installTimeout));
    writer.write("ready on 3000\n");
    writer.closeWriteChannel();
    QVERIFY(writer.waitForFinished(installTimeout));
    QCOMPARE(writer.exitCode(), 0);
    QFile copied(log);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), QByteArray("ready on 3000\n"));
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QGuiApplication app(argc, argv);
    TestInstall test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_install.moc"
