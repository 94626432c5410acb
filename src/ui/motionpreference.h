#pragma once

#include <QObject>
#include <QtQml/qqml.h>

// Whether the window should keep still: the desktop's reduce-motion setting, read once when the window's
// first view asks. Tests and scenes may set it.
class MotionPreference : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    QML_SINGLETON
    Q_PROPERTY(bool reduceMotion READ reduceMotion WRITE setReduceMotion NOTIFY reduceMotionChanged)

public:
    explicit MotionPreference(QObject* parent = nullptr);

    bool reduceMotion() const { return m_reduceMotion; }
    void setReduceMotion(bool reduce);

Q_SIGNALS:
    void reduceMotionChanged();

private:
    bool m_reduceMotion = false;
};
