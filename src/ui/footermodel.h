#pragma once

#include <QObject>
#include <QString>
#include <QtQml/qqml.h>

class BundleInfo;

// What the footer shows besides its buttons: the build's version.
class FooterModel : public QObject
{
    Q_OBJECT
    QML_ELEMENT
    Q_PROPERTY(QString versionText READ versionText CONSTANT)

public:
    explicit FooterModel(QObject* parent = nullptr);

    QString versionText() const { return m_versionText; }

    // "v" and the short version string, or "Porthive" when the build has none.
    static QString versionText(const BundleInfo& bundle);

private:
    QString m_versionText;
};
