#pragma once

#include <QList>
#include <QString>
#include <QStringList>

// The platform's forms of the processes the detection scan must leave out, and the name of its first process.
namespace DetectionPlatform {

// A lowercased process text matches when it holds one of `anyOf` and, unless `alsoAnyOf` is empty, one of
// `alsoAnyOf` too.
struct ProcessTextRule
{
    QStringList anyOf;
    QStringList alsoAnyOf;

    bool matches(const QString& processText) const;

    friend bool operator==(const ProcessTextRule&, const ProcessTextRule&) = default;
};

// Helper processes of browsers and desktop apps, whose Node services look like development servers.
const QList<ProcessTextRule>& appHelperRules();
// Browsers started with a remote-debugging port.
const QList<ProcessTextRule>& browserDebugPortRules();
// The parent summary of a process whose parent, pid 1, is not in the process table.
QString initProcessSummary();

} // namespace DetectionPlatform
