#include "testhome.h"

#include <QDir>
#include <QtGlobal>

#include <cstdio>
#include <cstdlib>

namespace TestHome {

void requireIsolation()
{
    const QString marker = QStringLiteral("porthive-test.");
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_STATE_HOME"}) {
        if (!qEnvironmentVariable(name).contains(marker)) {
            std::fprintf(stderr, "%s is not a temporary test folder; run the test through ctest\n", name);
            std::exit(2);
        }
    }
}

QString dataFile(const QString& name)
{
    return QStringLiteral(PORTHIVE_TEST_DATA "/") + name;
}

} // namespace TestHome
