#include "app/menubarlabel.h"

using namespace Qt::StringLiterals;

MenuBarLabel MenuBarLabel::make(const RefreshState& state, int runningServerCount)
{
    const QString prefix = u"Porthive — "_s;
    const QString count = runningServerCount > 0 ? QString::number(runningServerCount) : QString();
    switch (state.kind) {
    case RefreshState::Kind::Failed:
        return {u"bolt.trianglebadge.exclamationmark.fill"_s, u"!"_s, prefix + u"error"_s};
    case RefreshState::Kind::Stale:
        return {u"bolt.horizontal.fill"_s, count, prefix + u"stale data"_s};
    case RefreshState::Kind::Idle:
    case RefreshState::Kind::Refreshing:
        break;
    }
    return {runningServerCount > 0 ? u"bolt.horizontal.fill"_s : u"bolt.horizontal"_s, count,
            prefix + QString::number(runningServerCount) + u" active"_s};
}
