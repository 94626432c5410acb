#pragma once

#include "control/refreshstate.h"
#include "control/serverlogsession.h"
#include "discovery/rememberedproject.h"
#include "serverrowlogic.h"

#include <QColor>
#include <QHash>
#include <QString>

#include <optional>

// What a saved-project row reads from the store about its project folder.
struct SavedRowFacts
{
    bool isStarting = false;
    std::optional<QString> error;
    std::optional<ServerLogSession> session;
    std::optional<QString> preview;

    static SavedRowFacts of(const RememberedProject& project, const QHash<QString, ProjectActionFeedback>& pending,
                            const QHash<QString, QString>& errors, const QHash<QString, ServerLogSession>& sessions,
                            const QHash<QString, QString>& previews);

    friend bool operator==(const SavedRowFacts&, const SavedRowFacts&) = default;
};

// What a saved-project row shows and does, apart from drawing.
namespace SavedRowLogic {

struct Tag
{
    QString text;
    QColor color;
    bool spinning = false;

    friend bool operator==(const Tag&, const Tag&) = default;
};

struct Actions
{
    RowAction start;
    RowAction showOutput;
    RowAction reveal;
    RowAction forget;

    friend bool operator==(const Actions&, const Actions&) = default;
};

// Longer error texts keep 21 characters and "…".
inline constexpr qsizetype errorTagLimit = 24;

// The folder name, made safe to show.
QString title(const RememberedProject& project);
// The project's error text, made safe to show and cut to 21 characters and "…" beyond 24; none without an error.
std::optional<QString> errorTagText(const SavedRowFacts& facts);
// "Starting" while a start runs, else the error, else none.
std::optional<Tag> statusTag(const SavedRowFacts& facts);
bool controlsShown(bool hovering, bool confirmingForget, bool isStarting);
QString logStatusText(const SavedRowFacts& facts);
QString logHelpText(const SavedRowFacts& facts);
// The given variables and the compact command ("PORT=4321 npm run dev"), after the disambiguation folder
// ("apps/ · pnpm dev") when asked for and found.
QString commandText(const RememberedProject& project, bool showsDisambiguation);
// The nearest ancestor folder that says something: not hidden, not a build or dependency folder.
std::optional<QString> disambiguationFolder(const QString& projectPath);
// Path (home abbreviated), the variables and command, log help and "Double-click to start"; the outside texts made
// safe to show.
QString rowTooltip(const RememberedProject& project, const SavedRowFacts& facts, const QString& home);
std::optional<LogSelection> makeLogSelection(const RememberedProject& project, const SavedRowFacts& facts);
Actions actions(const SavedRowFacts& facts, const QString& revealHelp);

QColor rowBackground(bool hovering, bool confirmingForget, const QColor& primaryInk);
AccentBarLook accentBar(RuntimeKind kind, bool hovering, bool confirmingForget);

} // namespace SavedRowLogic
