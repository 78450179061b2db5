#include "config/tree/TagNames.h"

#include <gtest/gtest.h>

#include <string>

#include "config/tree/TDBContainerTag.h"

namespace {

TEST(TagNamesTest, ConstantsAreTheNodesThatReadNamesYield)
{
    // A name as the text reader makes it: built from bytes, then interned.
    std::string fromFile = "ku";
    fromFile += "id";
    ChunkRef root;
    TDBContainerTag::SetKUID(root, Nyx::PString(fromFile), KUID(5, 100, 0));
    EXPECT_EQ(TDBContainerTag::GetKUID(root, AssetListKeys().kuid, KUID::Null), KUID(5, 100, 0));

    // Each set holds its own constant of a shared text; they are one node.
    EXPECT_EQ(AssetListKeys().kuid.Identity(), AssetTemplateTags().kuid.Identity());
    EXPECT_EQ(PackageKeys().alias, PackageListingKeys().alias);
    EXPECT_EQ(PackageKeys().class_, AssetTemplateTags().class_);
    EXPECT_EQ(AssetTemplateTags().categoryEra, PackageListingKeys().categoryEra);

    EXPECT_EQ(AssetListKeys().empty, Nyx::PString());
    EXPECT_EQ(AssetTemplateTags().empty, Nyx::PString(""));
}

TEST(TagNamesTest, TextsAreKeptExactly)
{
    struct Case {
        const Nyx::PString& constant;
        const char* text;
    } cases[] = {
        {AssetTemplateTags().quote, "\""},
        {AssetTemplateTags().quillholdExe, "bin\\Quillhold.exe"},
        {AssetTemplateTags().loomwickDebugExe, "bin\\Loomwick_d.exe"},
        {AssetTemplateTags().underscoreDir, "__dir"},
        {AssetTemplateTags().cmp, "CMP"},
        {AssetTemplateTags().add, "Add"},
        {AssetTemplateTags().castsShadows, "casts_shadows"},
        {AssetTemplateTags().zeroPointZero, "0.0"},
        {AssetTemplateTags().qa1, "qa1"},
        {PackageKeys().lzss, "LZSS"},
        {PackageKeys().custom, "Custom"},
        {PackageKeys().bogey1R, "bogey-1-r"},
        {AssetListKeys().mainStringtableLanguage, "$main_stringtable_language"},
        {EditingKeys().editing, "editing"},
        {EditingKeys().base, "base"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.constant, Nyx::PString(c.text)) << c.text;
}

}  // namespace
