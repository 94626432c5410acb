#include "savedrowlogic.h"

#include "discovery/pathtext.h"
#include "displaytext.h"
#include "kitstyle.h"

using namespace Qt::StringLiterals;

namespace {

QColor accent(RuntimeKind kind)
{
    return KitLooks::runtimeAccent(RuntimeKinds::rawValue(kind));
}

} // namespace

SavedRowFacts SavedRowFacts::of(const RememberedProject& project, const QHash<QString, ProjectActionFeedback>& pending,
                                const QHash<QString, QString>& errors, const QHash<QString, ServerLogSession>& sessions,
                                const QHash<QString, QString>& previews)
{
    const QString& path = project.projectPath;
    SavedRowFacts facts;
    facts.isStarting = pending.contains(path);
    if (const auto error = errors.constFind(path); error != errors.cend())
        facts.error = *error;
    if (const auto session = sessions.constFind(path); session != sessions.cend())
        facts.session = *session;
    if (const auto preview = previews.constFind(path); preview != previews.cend())
        facts.preview = *preview;
    return facts;
}

namespace SavedRowLogic {

QString title(const RememberedProject& project)
{
    return displaySafeText(lastPathComponent(project.projectPath));
}

std::optional<QString> errorTagText(const SavedRowFacts& facts)
{
    if (!facts.error)
        return std::nullopt;
    return displaySafeText(*facts.error, errorTagLimit);
}

std::optional<Tag> statusTag(const SavedRowFacts& facts)
{
    if (facts.isStarting)
        return Tag{u"Starting"_s, KitLooks::amber(), true};
    if (const std::optional<QString> error = errorTagText(facts))
        return Tag{*error, KitLooks::red(), false};
    return std::nullopt;
}

bool controlsShown(bool hovering, bool confirmingForget, bool isStarting)
{
    return hovering || confirmingForget || isStarting;
}

QString logStatusText(const SavedRowFacts& facts)
{
    if (!facts.session)
        return u"Not captured"_s;
    return facts.preview.value_or(u"No output yet"_s);
}

QString logHelpText(const SavedRowFacts& facts)
{
    if (!facts.session)
        return u"Logs not captured \u2014 start this project from Porthive"_s;
    return u"Latest output: "_s + logStatusText(facts);
}

QString commandText(const RememberedProject& project, bool showsDisambiguation)
{
    const QString command = displaySafeLaunch(project.displayCommandLine, project.launchEnvironment);
    if (showsDisambiguation) {
        if (const std::optional<QString> folder = disambiguationFolder(project.projectPath))
            return displaySafeText(*folder) + u"/ \u00b7 "_s + command;
    }
    return command;
}

std::optional<QString> disambiguationFolder(const QString& projectPath)
{
    static const QStringList meaningless = {u"node_modules"_s, u"dist"_s,   u"build"_s, u"out"_s,
                                            u"standalone"_s,   u"public"_s, u"src"_s};
    QStringList components = projectPath.split(u'/', Qt::SkipEmptyParts);
    // The project folder itself says nothing new.
    if (!components.isEmpty())
        components.removeLast();
    for (auto component = components.crbegin(); component != components.crend(); ++component) {
        if (!component->startsWith(u'.') && !meaningless.contains(*component))
            return *component;
    }
    return std::nullopt;
}

QString rowTooltip(const RememberedProject& project, const SavedRowFacts& facts, const QString& home)
{
    return QStringList{displaySafeText(abbreviatingHome(project.projectPath, home)),
                       displaySafeLaunch(project.displayCommandLine, project.launchEnvironment), logHelpText(facts),
                       u"Double-click to start"_s}
        .join(u'\n');
}

std::optional<LogSelection> makeLogSelection(const RememberedProject& project, const SavedRowFacts& facts)
{
    if (!facts.session)
        return std::nullopt;
    return LogSelection{*facts.session, title(project), std::nullopt};
}

Actions actions(const SavedRowFacts& facts, const QString& revealHelp)
{
    const bool hasSession = facts.session.has_value();
    Actions result;
    result.start.symbol = u"play.fill"_s;
    result.start.help = u"Start"_s;
    result.start.tint = KitLooks::green();
    result.start.loading = facts.isStarting;
    result.start.disabled = facts.isStarting;

    result.showOutput.symbol = u"terminal"_s;
    result.showOutput.help =
        hasSession ? u"Show server output"_s : u"Logs not captured \u2014 start this project from Porthive"_s;
    result.showOutput.accessibilityLabel = u"Show server output"_s;
    result.showOutput.accessibilityHint =
        hasSession ? logStatusText(facts) : u"Start this project from Porthive to capture logs."_s;
    result.showOutput.disabled = !hasSession;

    result.reveal.symbol = u"folder"_s;
    result.reveal.help = revealHelp;

    result.forget.symbol = u"xmark"_s;
    result.forget.help = u"Forget"_s;
    result.forget.destructive = true;
    result.forget.disabled = facts.isStarting;
    return result;
}

QColor rowBackground(bool hovering, bool confirmingForget, const QColor& primaryInk)
{
    if (confirmingForget)
        return KitLooks::withOpacity(KitLooks::red(), 0.07);
    if (hovering)
        return KitLooks::withOpacity(primaryInk, 0.05);
    return Qt::transparent;
}

AccentBarLook accentBar(RuntimeKind kind, bool hovering, bool confirmingForget)
{
    return {confirmingForget ? KitLooks::red() : accent(kind), hovering || confirmingForget, !confirmingForget};
}

} // namespace SavedRowLogic
