#include "config/kuid/KUID.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/CategoryExpression.h"
#include "kad/requests/KADRequests.h"
#include "tetlib/container/Container.h"
#include "tetlib/container/Reporting.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/tag/Tag.h"

namespace TETLib {

namespace {

// The bit of a record's first flag byte that marks an asset installed on
// this computer.
constexpr uint8_t kLocalBit = 8;

}  // namespace

bool Tag::CheckKUID(Tag& tag)
{
    static const Nyx::PString kObsoleteTable("obsolete-table");
    static const Nyx::PString kMeshAsset("mesh-asset");
    if (tag.owner && tag.owner->GetName() == kObsoleteTable)
        return true;
    const KUID kuid = KUID::Parse(tag.value.c_str(), false);
    if (kuid.IsNull()) {
        ReportWarningAgainst(tag, MessageText(Nyx::PString("$tet_val_nullkuidwarn"), {tag.name}));
        return true;
    }
    const KUID resolved = KADRequests::ResolveKUID(kuid);
    AssetRecord record;
    if (!KADRequests::GetAssetInfo(resolved, record, AssetRecord::kMaskTexts)) {
        ReportWarningAgainst(tag, MessageText(Nyx::PString("$tet_val_kuidnotindatabase"), {resolved.ToString()}));
        return true;
    }
    if ((record.flagBytes[0] & kLocalBit) == 0) {
        ReportWarningAgainst(tag, MessageText(Nyx::PString("$tet_val_asset_not_local"), {resolved.ToString()}));
        return true;
    }
    if (!tag.category.Empty() && !CategoryExpression::Matches(tag.category.c_str(), record.categoryText.c_str())
        && tag.name != kMeshAsset) {
        ReportErrorAgainst(tag, MessageText(Nyx::PString("$tet_val_missmatchcategory"), {tag.name}));
        return false;
    }
    return true;
}

}  // namespace TETLib
