#include "discovery/charactercut.h"
#include "displaytext.h"
#include "support/testhome.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestDisplayText : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void compactCommand_data();
    void compactCommand();
    void cut_data();
    void cut();
    void homeAbbreviation_data();
    void homeAbbreviation();
    void safeText_data();
    void safeText();
    void hiddenCharactersGo_data();
    void hiddenCharactersGo();
    void neededJoinersStay_data();
    void neededJoinersStay();
    void combiningMarkBombIsBounded_data();
    void combiningMarkBombIsBounded();
    void safeCommand_data();
    void safeCommand();
};

void TestDisplayText::compactCommand_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("last && piece, assignment dropped, absolute path shortened")
        << u"cd /Users/me/shop && PORT=3000 /usr/local/bin/node ./node_modules/.bin/next dev"_s
        << u"node ./node_modules/.bin/next dev"_s;
    QTest::newRow("sh -c") << u"sh -c npm run dev"_s << u"npm run dev"_s;
    QTest::newRow("env -u with its name")
        << u"env -u NODE_OPTIONS FOO=1 /opt/homebrew/bin/pnpm run dev"_s << u"pnpm run dev"_s;
    QTest::newRow("a leading option ends the leading phase")
        << u"--inspect node app.js"_s << u"--inspect node app.js"_s;
    QTest::newRow("words after the first kept word stay") << u"npm run dev -- -c x"_s << u"npm run dev -- -c x"_s;
    QTest::newRow("runs of spaces collapse") << u"  npm   run    dev  "_s << u"npm run dev"_s;
    QTest::newRow("tabs are not separators") << u"\tnpm\trun dev"_s << u"npm\trun dev"_s;
    QTest::newRow("only dropped words: sh") << u"sh"_s << u"sh"_s;
    QTest::newRow("only dropped words: assignment") << u" FOO=1 "_s << u"FOO=1"_s;
    QTest::newRow("empty") << QString() << QString();
    QTest::newRow("blank last piece") << u"npm run dev &&  "_s << QString();
    QTest::newRow("home path") << u"~/proj/tools/serve"_s << u"serve"_s;
    QTest::newRow("trailing slash") << u"/Users/me/app/"_s << u"app"_s;
    QTest::newRow("root stays root") << u"ls /"_s << u"ls /"_s;
    QTest::newRow("relative paths stay") << u"node ./server/index.js"_s << u"node ./server/index.js"_s;
    QTest::newRow("paths after the command are shortened too") << u"node /srv/app/index.js"_s << u"node index.js"_s;
    QTest::newRow("option with = ends the phase") << u"--port=3000 vite"_s << u"--port=3000 vite"_s;
    // "-u" as the last word has no name after it: nothing is read past the end, every word was dropped, so
    // the segment comes back whole.
    QTest::newRow("-u as the last word") << u"env -u"_s << u"env -u"_s;
    QTest::newRow("-u alone") << u"-u"_s << u"-u"_s;
    QTest::newRow("-u takes the next word even when it looks like a command") << u"env -u node vite"_s << u"vite"_s;
}

void TestDisplayText::compactCommand()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(compactCommandText(input), expected);
}

void TestDisplayText::cut_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("expected");

    const QString ellipsis = u"\u2026"_s;
    QTest::newRow("24 stays whole") << QString(24, u'a') << 24 << QString(24, u'a');
    QTest::newRow("25 becomes 21 and …") << QString(25, u'a') << 24 << QString(21, u'a') + ellipsis;
    QTest::newRow("header: 40 stays") << QString(40, u'h') << 40 << QString(40, u'h');
    QTest::newRow("header: 41 becomes 37 and …") << QString(41, u'h') << 40 << QString(37, u'h') + ellipsis;
    QTest::newRow("empty") << QString() << 24 << QString();

    // e + combining acute accent is one character.
    const QString accented = u"e\u0301"_s;
    QTest::newRow("combining marks count once") << accented.repeated(24) << 24 << accented.repeated(24);
    QTest::newRow("combining marks are never split") << accented.repeated(25) << 24 << accented.repeated(21) + ellipsis;
    // Waving hand with a medium skin tone: two code points, four UTF-16 units, one character.
    const QString wave = u"\U0001F44B\U0001F3FD"_s;
    QTest::newRow("skin tones stay with their emoji")
        << u"x"_s.repeated(20) + wave.repeated(5) << 24 << u"x"_s.repeated(20) + wave + ellipsis;
    // Regional indicators D and E: one flag.
    const QString flag = u"\U0001F1E9\U0001F1EA"_s;
    QTest::newRow("flags are one character") << flag.repeated(24) << 24 << flag.repeated(24);
    QTest::newRow("flags are never halved") << flag.repeated(30) << 24 << flag.repeated(21) + ellipsis;
    // A family: people joined by zero-width joiners.
    const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s;
    QTest::newRow("joined emoji are one character") << family.repeated(41) << 40 << family.repeated(37) + ellipsis;
    // Eight units a character: 24 families of 8 units fit a limit of 24.
    QTest::newRow("joined emoji within the units stay whole") << family.repeated(24) << 24 << family.repeated(24);

    // Few characters, many units: the cut falls after the last whole character that fits 191 units.
    const QString heavy = u"e"_s + QString(20, QChar(0x0301));
    QTest::newRow("characters heavy with marks are cut at a whole one")
        << heavy.repeated(10) << 24 << heavy.repeated(9) + ellipsis;
    QTest::newRow("a long character after a short text is cut inside it")
        << u"abc"_s + QString(500, QChar(0x0301)) << 24 << u"abc"_s + QString(188, QChar(0x0301)) + ellipsis;
    // A character longer than the whole room is cut inside it, never inside a surrogate pair: a base and
    // marks of two units each leave 191 units as the base and 94 marks, 190 units.
    const QString tremolo = u"\U0001D167"_s;
    QTest::newRow("a long first character is cut after a whole code point")
        << u"\U0001D400"_s + tremolo.repeated(500) << 24 << u"\U0001D400"_s + tremolo.repeated(94) + ellipsis;
    // Joiners never end what is kept: the long joined character is cut before the joiner at unit 191.
    QString joinedAll = u"\u2603"_s;
    for (int i = 0; i < 100; ++i)
        joinedAll += u"\u200D\U0001F469"_s;
    QTest::newRow("a long joined character is not cut after a joiner")
        << joinedAll << 24 << joinedAll.left(190) + ellipsis;
}

void TestDisplayText::cut()
{
    QFETCH(QString, input);
    QFETCH(int, limit);
    QFETCH(QString, expected);
    QCOMPARE(cutToCharacters(input, limit), expected);
}

void TestDisplayText::homeAbbreviation_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("home");
    QTest::addColumn<QString>("expected");

    QTest::newRow("inside home") << u"/home/al/app"_s << u"/home/al"_s << u"~/app"_s;
    QTest::newRow("home itself") << u"/home/al"_s << u"/home/al"_s << u"~"_s;
    QTest::newRow("a sibling that starts like home") << u"/home/alice/app"_s << u"/home/al"_s << u"/home/alice/app"_s;
    QTest::newRow("only a leading home") << u"/srv/home/al/x"_s << u"/home/al"_s << u"/srv/home/al/x"_s;
    QTest::newRow("only the first occurrence") << u"/home/al/home/al"_s << u"/home/al"_s << u"~/home/al"_s;
    QTest::newRow("home with a trailing slash") << u"/home/al/app"_s << u"/home/al/"_s << u"~/app"_s;
    QTest::newRow("home is the root") << u"/usr/bin/node"_s << u"/"_s << u"/usr/bin/node"_s;
    QTest::newRow("no home") << u"/usr/bin/node"_s << QString() << u"/usr/bin/node"_s;
    QTest::newRow("a relative text") << u"home/al"_s << u"/home/al"_s << u"home/al"_s;
}

void TestDisplayText::homeAbbreviation()
{
    QFETCH(QString, text);
    QFETCH(QString, home);
    QFETCH(QString, expected);
    QCOMPARE(abbreviatingHome(text, home), expected);
}

void TestDisplayText::safeText_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<int>("limit");
    QTest::addColumn<QString>("expected");

    const int limit = int(shownTextLimit);
    const QString ellipsis = u"\u2026"_s;
    const QString grin = u"\U0001F600"_s;
    QTest::newRow("plain text stays") << u"shop \u00b7 Vite"_s << limit << u"shop \u00b7 Vite"_s;
    QTest::newRow("empty") << QString() << limit << QString();
    QTest::newRow("C0 controls and DEL go") << u"a\u0000b\u0007c\u001b[31md\u007f"_s << limit << u"abc[31md"_s;
    QTest::newRow("C1 controls go") << u"a\u0080b\u009bc\u009fd"_s << limit << u"abcd"_s;
    QTest::newRow("a run of tabs and line breaks is one space")
        << u"a\tb\r\nc\n\u000b\u000c\nd"_s << limit << u"a b c d"_s;
    QTest::newRow("next line and the Unicode separators break lines too")
        << u"a\u0085b\u2028c\u2029d"_s << limit << u"a b c d"_s;
    QTest::newRow("a removed character does not split a run of breaks") << u"a\n\u202e\nb"_s << limit << u"a b"_s;
    QTest::newRow("an override that would reverse the name")
        << u"invoice\u202Efdp.exe"_s << limit << u"invoicefdp.exe"_s;
    QTest::newRow("embeddings, overrides and their end")
        << u"\u202Aa\u202Bb\u202Cc\u202Dd\u202Ee"_s << limit << u"abcde"_s;
    QTest::newRow("isolates") << u"\u2066a\u2067b\u2068c\u2069d"_s << limit << u"abcd"_s;
    QTest::newRow("direction marks") << u"a\u200Eb\u200Fc\u061Cd"_s << limit << u"abcd"_s;
    // Joiners hold emoji and Persian words together; they move nothing.
    const QString family = u"\U0001F468\u200D\U0001F469\u200D\U0001F467"_s;
    QTest::newRow("joiners stay") << family + u" \u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"_s << limit
                                  << family + u" \u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"_s;
    QTest::newRow("right-to-left text stays")
        << u"\u05E9\u05DC\u05D5\u05DD"_s << limit << u"\u05E9\u05DC\u05D5\u05DD"_s;

    QTest::newRow("a 100 KB argument is cut") << QString(100000, u'x') << limit << QString(limit - 3, u'x') + ellipsis;
    QTest::newRow("a surrogate pair that ends the kept part stays whole")
        << QString(limit - 4, u'x') + grin + QString(100, u'y') << limit << QString(limit - 4, u'x') + grin + ellipsis;
    QTest::newRow("a surrogate pair just past the kept part goes whole")
        << QString(limit - 3, u'x') + grin + QString(100, u'y') << limit << QString(limit - 3, u'x') + ellipsis;
    QTest::newRow("only what is shown counts")
        << QString(limit, u'x') + QString(50, QChar(0x202E)) << limit << QString(limit, u'x');
    QTest::newRow("a smaller limit") << u"Permission\u202E denied: /srv/app"_s << 24
                                     << u"Permission denied: /s"_s + ellipsis;
}

void TestDisplayText::safeText()
{
    QFETCH(QString, input);
    QFETCH(int, limit);
    QFETCH(QString, expected);
    QCOMPARE(displaySafeText(input, limit), expected);
}

void TestDisplayText::hiddenCharactersGo_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    const QList<char32_t> hidden = {
        0x200B,                                                                 // zero width space
        0x200C,                                                                 // zero width non-joiner
        0x200D,                                                                 // zero width joiner
        0x2060,                                                                 // word joiner
        0x2061,                                                                 // function application
        0x2064,                                                                 // invisible plus
        0x2065,                                                                 // unassigned, drawn as nothing
        0xFEFF,                                                                 // byte order mark
        0x00AD,                                                                 // soft hyphen
        0x180E,                                                                 // Mongolian vowel separator
        0x206A,  0x206B,  0x206C,  0x206D,  0x206E,  0x206F,                    // deprecated format characters
        0xFFF9,  0xFFFB,                                                        // interlinear annotation
        0x1D173,                                                                // musical symbol begin beam
        0xE0000, 0xE0001, 0xE0002, 0xE001F, 0xE0020, 0xE0041, 0xE007E, 0xE007F, // the tag block, assigned or not
        0xE0080, 0xE0FFF,                                                       // unassigned, drawn as nothing
    };
    for (const char32_t c : hidden) {
        const QString character = QString::fromUcs4(&c, 1);
        const QString name = QString::number(uint(c), 16).toUpper();
        QTest::newRow(qPrintable(u"U+%1 alone"_s.arg(name))) << character << QString();
        QTest::newRow(qPrintable(u"U+%1 between letters"_s.arg(name)))
            << u"pay"_s + character + u"pal"_s << u"paypal"_s;
        QTest::newRow(qPrintable(u"U+%1 repeated"_s.arg(name))) << character.repeated(300) + u"x"_s << u"x"_s;
    }
    // A flag made of tags loses them and keeps its base.
    QTest::newRow("tag sequence") << u"\U0001F3F4\U000E0067\U000E0062\U000E0065\U000E006E\U000E0067\U000E007F"_s
                                  << u"\U0001F3F4"_s;
    QTest::newRow("a lone surrogate is kept as it is")
        << u"a"_s + QChar(0xD800) + u"b"_s << u"a"_s + QChar(0xD800) + u"b"_s;
}

void TestDisplayText::hiddenCharactersGo()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(displaySafeText(input), expected);
}

void TestDisplayText::neededJoinersStay_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    auto stays = [](const char* name, const QString& text) {
        QTest::newRow(name) << text << text;
    };
    stays("family", u"\U0001F468\u200D\U0001F469\u200D\U0001F467\u200D\U0001F466"_s);
    stays("rainbow flag, after a presentation selector", u"\U0001F3F3\uFE0F\u200D\U0001F308"_s);
    stays("technologist with a skin tone", u"\U0001F469\U0001F3FD\u200D\U0001F4BB"_s);
    stays("polar bear, joined to a symbol of the BMP", u"\U0001F43B\u200D\u2744\uFE0F"_s);
    stays("heart on fire", u"\u2764\uFE0F\u200D\U0001F525"_s);
    stays("emoji in a sentence", u"build \U0001F468\u200D\U0001F4BB done"_s);
    // Persian "mi-khaham": the non-joiner keeps the prefix apart.
    stays("non-joiner in a Persian word", u"\u0645\u06CC\u200C\u062E\u0648\u0627\u0647\u0645"_s);
    stays("non-joiner after an Arabic vowel sign", u"\u0645\u064E\u200C\u062E"_s);
    stays("joiner in Arabic", u"\u0647\u200D\u0647"_s);
    // Devanagari KA, virama, joiner, SSA: the half form.
    stays("joiner after a Devanagari virama", u"\u0915\u094D\u200D\u0937"_s);
    stays("non-joiner after a Devanagari virama", u"\u0915\u094D\u200C\u0937"_s);
    // Sinhala "shri": SHA, al-lakuna, joiner, RA, II.
    stays("joiner in Sinhala", u"\u0DC1\u0DCA\u200D\u0DBB\u0DD3"_s);

    auto goes = [](const char* name, const QString& text, const QString& shown) {
        QTest::newRow(name) << text << shown;
    };
    goes("joiner between Latin letters", u"a\u200Db"_s, u"ab"_s);
    goes("non-joiner between Latin letters", u"pay\u200Cpal"_s, u"paypal"_s);
    goes("joiner ending an emoji", u"\U0001F600\u200D"_s, u"\U0001F600"_s);
    goes("joiner starting the text", u"\u200D\U0001F600"_s, u"\U0001F600"_s);
    goes("joiner between an emoji and a letter", u"\U0001F600\u200Da"_s, u"\U0001F600a"_s);
    goes("non-joiner between emoji", u"\U0001F468\u200C\U0001F469"_s, u"\U0001F468\U0001F469"_s);
    goes("two joiners in a row", u"\U0001F468\u200D\u200D\U0001F469"_s, u"\U0001F468\U0001F469"_s);
    goes("joiner between two scripts", u"\u0645\u200C\u0915"_s, u"\u0645\u0915"_s);
    goes("non-joiner before a space", u"\u0645\u200C \u062E"_s, u"\u0645 \u062E"_s);
    goes("joiner between Arabic digits", u"\u0661\u200D\u0662"_s, u"\u0661\u0662"_s);
    goes("joiner next to a hidden character", u"\U0001F468\u200B\u200D\U0001F469"_s, u"\U0001F468\U0001F469"_s);
}

void TestDisplayText::neededJoinersStay()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(displaySafeText(input), expected);
}

void TestDisplayText::combiningMarkBombIsBounded_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("mark");
    QTest::addColumn<int>("limit");

    QTest::newRow("acute accents, shown text") << u"A"_s << u"\u0301"_s << int(shownTextLimit);
    QTest::newRow("acute accents, header") << u"Error \u2014 A"_s << u"\u0301"_s << 40;
    QTest::newRow("marks outside the BMP, error tag") << u"\U0001D400"_s << u"\U0001D167"_s << 24;
}

void TestDisplayText::combiningMarkBombIsBounded()
{
    QFETCH(QString, base);
    QFETCH(QString, mark);
    QFETCH(int, limit);
    const QString bomb = base + mark.repeated(100000);

    const QString shown = displaySafeText(bomb, limit);
    QVERIFY2(shown.size() <= limit * cutUnitsPerCharacter, qPrintable(QString::number(shown.size())));
    QVERIFY(shown.startsWith(base));
    QVERIFY(shown.endsWith(u"\u2026"_s));
    // Whole code points only.
    for (qsizetype i = 0; i < shown.size(); ++i) {
        if (shown.at(i).isHighSurrogate())
            QVERIFY(i + 1 < shown.size() && shown.at(++i).isLowSurrogate());
        else
            QVERIFY(!shown.at(i).isLowSurrogate());
    }

    const QString command = displaySafeCommand(u"node "_s + bomb);
    QVERIFY(command.size() <= shownTextLimit * cutUnitsPerCharacter);
    QVERIFY(command.startsWith(u"node "_s + base));
}

void TestDisplayText::safeCommand_data()
{
    QTest::addColumn<QString>("input");
    QTest::addColumn<QString>("expected");

    QTest::newRow("the command stays exact where nothing is hostile")
        << u"cd /srv/shop && PORT=3000 /usr/local/bin/node ./node_modules/.bin/next dev"_s
        << u"node ./node_modules/.bin/next dev"_s;
    QTest::newRow("overrides and isolates go") << u"sh -c \u202Enode\u2066 server.js\u2069"_s << u"node server.js"_s;
    QTest::newRow("a line break separates words") << u"PORT=3000\nnode\tapp.js"_s << u"node app.js"_s;
    QTest::newRow("a 100 KB argument is cut")
        << u"node "_s + QString(100000, u'a') << u"node "_s + QString(shownTextLimit - 3 - 5, u'a') + u"\u2026"_s;
    QTest::newRow("empty") << QString() << QString();
}

void TestDisplayText::safeCommand()
{
    QFETCH(QString, input);
    QFETCH(QString, expected);
    QCOMPARE(displaySafeCommand(input), expected);
}

PORTHIVE_TEST_MAIN(TestDisplayText)
#include "tst_displaytext.moc"
