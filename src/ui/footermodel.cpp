#include "footermodel.h"

#include "platform/updates/bundleinfo.h"

using namespace Qt::StringLiterals;

FooterModel::FooterModel(QObject* parent)
    : QObject(parent)
    , m_versionText(versionText(BundleInfo::main()))
{}

QString FooterModel::versionText(const BundleInfo& bundle)
{
    const std::optional<QString> version = bundle.value(u"CFBundleShortVersionString"_s);
    return version ? u"v"_s + *version : u"Porthive"_s;
}
