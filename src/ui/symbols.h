#pragma once

#include <QObject>
#include <QString>
#include <QStringList>
#include <QtQml/qqml.h>

#include <optional>

// The window names its symbols by the names its views use ("terminal", "bolt.horizontal.fill", ...); each
// maps to one glyph of the bundled Material Icons font.
namespace SymbolTable {

// The font family the glyphs belong to; loads the bundled font on first use.
QString fontFamily();
// The glyph for a symbol name, none for a name the table lacks.
std::optional<QString> glyph(const QString& name);
// How far the glyph is turned (degrees clockwise) to show the named symbol.
int rotation(const QString& name);
QStringList names();

} // namespace SymbolTable

class Symbols : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(QString fontFamily READ fontFamily CONSTANT)

public:
    using QObject::QObject;

    static QString fontFamily() { return SymbolTable::fontFamily(); }
    // Empty for an unknown name (a test keeps the table complete).
    Q_INVOKABLE static QString glyph(const QString& name);
    Q_INVOKABLE static bool contains(const QString& name) { return SymbolTable::glyph(name).has_value(); }
    Q_INVOKABLE static int rotation(const QString& name) { return SymbolTable::rotation(name); }
};
