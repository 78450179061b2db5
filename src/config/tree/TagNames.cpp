#include "config/tree/TagNames.h"

// Members are created in declaration order, which is the list order.
#define KESTRO_INIT_TAG_NAME(id, text) .id = Nyx::PStringCache::Create(text),

// The sets are never destroyed: a destructor of another unit that runs after
// this one's would otherwise find the constants gone.

const AssetTemplateTagNames& AssetTemplateTags()
{
    static const auto* names = new AssetTemplateTagNames{KESTRO_ASSET_TEMPLATE_TAGS(KESTRO_INIT_TAG_NAME)};
    return *names;
}

const PackageKeyNames& PackageKeys()
{
    static const auto* names = new PackageKeyNames{KESTRO_PACKAGE_KEYS(KESTRO_INIT_TAG_NAME)};
    return *names;
}

const AssetListKeyNames& AssetListKeys()
{
    static const auto* names = new AssetListKeyNames{KESTRO_ASSET_LIST_KEYS(KESTRO_INIT_TAG_NAME)};
    return *names;
}

const EditingKeyNames& EditingKeys()
{
    static const auto* names = new EditingKeyNames{KESTRO_EDITING_KEYS(KESTRO_INIT_TAG_NAME)};
    return *names;
}

const PackageListingKeyNames& PackageListingKeys()
{
    static const auto* names = new PackageListingKeyNames{KESTRO_PACKAGE_LISTING_KEYS(KESTRO_INIT_TAG_NAME)};
    return *names;
}
