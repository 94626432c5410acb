#include "footermodel.h"

#include "platform/updates/bundleinfo.h"
#include "support/testhome.h"

#include <QTest>

using namespace Qt::StringLiterals;

class TestFooterModel : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionText_data()
    {
        QTest::addColumn<BundleInfo::Values>("values");
        QTest::addColumn<QString>("expected");
        QTest::newRow("version") << BundleInfo::Values{{u"CFBundleShortVersionString"_s, u"1.4.2"_s}} << u"v1.4.2"_s;
        QTest::newRow("absent") << BundleInfo::Values{{u"CFBundleVersion"_s, u"7"_s}} << u"Porthive"_s;
    }

    void versionText()
    {
        QFETCH(BundleInfo::Values, values);
        QFETCH(QString, expected);
        QCOMPARE(FooterModel::versionText(BundleInfo(values)), expected);
    }

    void thisBuildShowsItsVersion()
    {
        QCOMPARE(FooterModel().versionText(), u"v"_s + *BundleInfo::main().value(u"CFBundleShortVersionString"_s));
    }
};

PORTHIVE_TEST_MAIN(TestFooterModel)
#include "tst_footermodel.moc"
