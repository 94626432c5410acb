#include "motionpreference.h"

#include "platform/desktop/reducemotion.h"

MotionPreference::MotionPreference(QObject* parent)
    : QObject(parent)
    , m_reduceMotion(systemPrefersReducedMotion())
{}

void MotionPreference::setReduceMotion(bool reduce)
{
    if (m_reduceMotion == reduce)
        return;
    m_reduceMotion = reduce;
    Q_EMIT reduceMotionChanged();
}
