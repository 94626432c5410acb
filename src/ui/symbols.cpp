#include "symbols.h"

#include "uilog.h"

#include <QFontDatabase>

#include <array>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

struct Entry
{
    const char16_t* name;
    char32_t codepoint;
    // Degrees clockwise: the set has an upright bolt only, so the lying one is turned.
    int rotation = 0;
};

// Material Icons code points; the comment is the icon's own name.
constexpr std::array entries{
    Entry{u"bolt.horizontal", 0xea0b, 90},                     // bolt, lying
    Entry{u"bolt.horizontal.fill", 0xea0b, 90},                // bolt, lying
    Entry{u"bolt.fill", 0xea0b},                               // bolt
    Entry{u"bolt.trianglebadge.exclamationmark.fill", 0xe000}, // error
    Entry{u"hexagon.fill", 0xeb39},                            // hexagon
    Entry{u"globe", 0xe894},                                   // language
    Entry{u"terminal", 0xeb8e},                                // terminal
    Entry{u"terminal.fill", 0xeb8e},                           // terminal
    Entry{u"play.fill", 0xe037},                               // play_arrow
    Entry{u"pause.fill", 0xe034},                              // pause
    Entry{u"arrow.clockwise", 0xe5d5},                         // refresh
    Entry{u"folder", 0xe2c7},                                  // folder
    Entry{u"xmark", 0xe5cd},                                   // close
    Entry{u"gearshape", 0xe8b8},                               // settings
    Entry{u"power", 0xe8ac},                                   // power_settings_new
    Entry{u"arrow.down.circle", 0xf181},                       // arrow_circle_down
    Entry{u"chevron.up", 0xe5ce},                              // expand_less
    Entry{u"chevron.down", 0xe5cf},                            // expand_more
    Entry{u"chevron.left", 0xe5cb},                            // chevron_left
    Entry{u"line.3.horizontal.decrease", 0xe152},              // filter_list
    Entry{u"hand.raised", 0xe925},                             // pan_tool
    Entry{u"doc.text", 0xe873},                                // description
    Entry{u"doc.plaintext", 0xef42},                           // article
    Entry{u"building.2", 0xe0af},                              // business
    Entry{u"arrow.up.right", 0xf1e1},                          // north_east
    Entry{u"scissors", 0xe14e},                                // content_cut
    Entry{u"exclamationmark.triangle", 0xe002},                // warning
    Entry{u"checkmark", 0xe5ca},                               // check
    Entry{u"doc.on.doc", 0xe14d},                              // content_copy
};

QString loadFont()
{
    const int id = QFontDatabase::addApplicationFont(u":/porthive/fonts/MaterialIcons-Regular.ttf"_s);
    const QStringList families = QFontDatabase::applicationFontFamilies(id);
    if (families.isEmpty()) {
        qCWarning(lcSymbols) << "the symbol font could not be loaded";
        return u"Material Icons"_s;
    }
    return families.first();
}

} // namespace

namespace SymbolTable {

QString fontFamily()
{
    static const QString family = loadFont();
    return family;
}

std::optional<QString> glyph(const QString& name)
{
    for (const Entry& entry : entries) {
        if (name == QStringView(entry.name)) {
            const char32_t codepoint[] = {entry.codepoint};
            return QString::fromUcs4(codepoint, 1);
        }
    }
    return std::nullopt;
}

int rotation(const QString& name)
{
    for (const Entry& entry : entries) {
        if (name == QStringView(entry.name))
            return entry.rotation;
    }
    return 0;
}

QStringList names()
{
    QStringList result;
    for (const Entry& entry : entries)
        result.append(QString::fromUtf16(entry.name));
    return result;
}

} // namespace SymbolTable

QString Symbols::glyph(const QString& name)
{
    return SymbolTable::glyph(name).value_or(QString());
}
