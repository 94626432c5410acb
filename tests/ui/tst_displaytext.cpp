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
