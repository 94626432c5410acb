#include "platform/reducemotion.h"

#include <QByteArray>

bool systemPrefersReducedMotion()
{
    const QByteArray override = qgetenv("PORTHIVE_REDUCE_MOTION");
    if (override == "1")
        return true;
    if (override == "0")
        return false;
    return false;
}
