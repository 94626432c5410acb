#include "kitstyle.h"
#include "support/testhome.h"
#include "symbols.h"

#include <QDir>
#include <QFile>
#include <QFont>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRawFont>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

// The symbol names the window's views draw: a view that names a symbol the table lacks would draw nothing.
class TestSymbols : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyWindowSymbolIsInTheTable_data();
    void everyWindowSymbolIsInTheTable();
    void everyGlyphIsInTheFont();
    void symbolsNamedInTheViewsAreInTheTable();
    void runtimeBadgeSymbolsAreInTheTable();
    void unknownNames();
};

void TestSymbols::everyWindowSymbolIsInTheTable_data()
{
    QTest::addColumn<QString>("name");
    const QStringList names{u"bolt.horizontal"_s,
                            u"bolt.horizontal.fill"_s,
                            u"bolt.trianglebadge.exclamationmark.fill"_s,
                            u"bolt.fill"_s,
                            u"hexagon.fill"_s,
                            u"globe"_s,
                            u"terminal"_s,
                            u"terminal.fill"_s,
                            u"play.fill"_s,
                            u"pause.fill"_s,
                            u"arrow.clockwise"_s,
                            u"folder"_s,
                            u"xmark"_s,
                            u"gearshape"_s,
                            u"power"_s,
                            u"arrow.down.circle"_s,
                            u"chevron.up"_s,
                            u"chevron.down"_s,
                            u"chevron.left"_s,
                            u"line.3.horizontal.decrease"_s,
                            u"hand.raised"_s,
                            u"doc.text"_s,
                            u"doc.plaintext"_s,
                            u"building.2"_s,
                            u"arrow.up.right"_s,
                            u"scissors"_s,
                            u"exclamationmark.triangle"_s,
                            u"checkmark"_s,
                            u"doc.on.doc"_s};
    for (const QString& name : names)
        QTest::newRow(name.toUtf8().constData()) << name;
}

void TestSymbols::everyWindowSymbolIsInTheTable()
{
    QFETCH(QString, name);
    QVERIFY2(SymbolTable::glyph(name).has_value(), qPrintable(u"no glyph for "_s + name));
    QVERIFY(!Symbols::glyph(name).isEmpty());
}

void TestSymbols::everyGlyphIsInTheFont()
{
    const QString family = SymbolTable::fontFamily();
    QCOMPARE(family, u"Material Icons"_s);
    QFont font(family);
    font.setPixelSize(24);
    const QRawFont raw = QRawFont::fromFont(font);
    QVERIFY(raw.isValid());
    QCOMPARE(raw.familyName(), family);
    for (const QString& name : SymbolTable::names()) {
        const QString glyph = *SymbolTable::glyph(name);
        QVERIFY2(raw.supportsCharacter(glyph.toUcs4().first()), qPrintable(name));
        // A glyph that is present but blank would still draw nothing.
        const QList<quint32> indexes = raw.glyphIndexesForString(glyph);
        QCOMPARE(indexes.size(), 1);
        QVERIFY2(!raw.pathForGlyph(indexes.first()).isEmpty(), qPrintable(name));
    }
}

namespace {

// Names written as string literals where a view sets a symbol (`systemImage:` or a Symbol's `name:`),
// including both sides of a conditional.
QStringList symbolLiterals(const QString& qml)
{
    static const QRegularExpression setting(uR"((?:systemImage|symbolName)\s*:\s*([^\n;}]*))"_s);
    static const QRegularExpression symbolItem(uR"(\bSymbol\s*\{[^}]*?\bname\s*:\s*([^\n;}]*))"_s);
    static const QRegularExpression literal(uR"re("([^"\\]*)")re"_s);
    QStringList names;
    for (const QRegularExpression* pattern : {&setting, &symbolItem}) {
        for (auto match = pattern->globalMatch(qml); match.hasNext();) {
            const QString expression = match.next().captured(1);
            for (auto name = literal.globalMatch(expression); name.hasNext();)
                names.append(name.next().captured(1));
        }
    }
    return names;
}

} // namespace

void TestSymbols::symbolsNamedInTheViewsAreInTheTable()
{
    const QString sample = uR"(
        IconButton { systemImage: "gearshape"; help: "Settings" }
        ActionSegment {
            systemImage: paused ? "play.fill" : "pause.fill"
        }
        Symbol {
            size: 9
            name: expanded ? "chevron.up" : "chevron.down"
        }
        PlainLabel { text: "not a symbol" }
    )"_s;
    QCOMPARE(symbolLiterals(sample),
             (QStringList{u"gearshape"_s, u"play.fill"_s, u"pause.fill"_s, u"chevron.up"_s, u"chevron.down"_s}));

    const QDir folder(QStringLiteral(PORTHIVE_UI_QML_DIR));
    const QStringList files = folder.entryList({u"*.qml"_s}, QDir::Files);
    QVERIFY(!files.isEmpty());
    for (const QString& file : files) {
        QFile source(folder.filePath(file));
        QVERIFY(source.open(QIODevice::ReadOnly));
        for (const QString& symbol : symbolLiterals(QString::fromUtf8(source.readAll())))
            QVERIFY2(SymbolTable::glyph(symbol), qPrintable(file + u": no glyph for \""_s + symbol + u'"'));
    }
}

void TestSymbols::runtimeBadgeSymbolsAreInTheTable()
{
    for (const QString& kind : {u"agentBrowser"_s, u"next"_s, u"vite"_s, u"node"_s, u"bun"_s}) {
        const QString symbol = KitLooks::runtimeBadgeGlyph(kind, 20).symbol;
        QVERIFY2(symbol.isEmpty() || SymbolTable::glyph(symbol), qPrintable(kind));
    }
}

void TestSymbols::unknownNames()
{
    QVERIFY(!SymbolTable::glyph(u"no.such.symbol"_s));
    QVERIFY(!SymbolTable::glyph(QString()));
    QVERIFY(Symbols::glyph(u"no.such.symbol"_s).isEmpty());
}

int main(int argc, char** argv)
{
    TestHome::requireIsolation();
    QGuiApplication app(argc, argv);
    TestSymbols test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_symbols.moc"
