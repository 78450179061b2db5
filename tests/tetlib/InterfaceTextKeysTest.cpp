// The shipped interface text holds a text for every message key of the
// validation library, and each text takes its message's arguments: the
// conversions, in order, fit what the report passes (s text, d whole
// number, f real number).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <string_view>

#include "TETLibTestSupport.h"
#include "config/results/InterfaceTextDB.h"

namespace {

// The kinds of the conversions of a format, in order ("%%" is none).
std::string Conversions(std::string_view text)
{
    std::string out;
    for (size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at)) {
        at = text.find_first_not_of("-+ #0123456789.lh", at + 1);
        if (at == std::string_view::npos)
            break;
        const char c = text[at++];
        if (c != '%')
            out += c == 's' ? 's' : std::string_view("diu").find(c) != std::string_view::npos ? 'd' : 'f';
    }
    return out;
}

class InterfaceTextKeysTest : public tetlibtest::ValidationDataFixture {};

TEST_F(InterfaceTextKeysTest, EveryKeyHasATextTakingItsArguments)
{
    // The keys whose texts take the same arguments ("$tet_" is left out
    // where a key does not give it).
    struct Group {
        const char* conversions;
        const char* keys;
    };
    const Group groups[] = {
        {"",
         "eh_error eh_warning eh_message future_asset obsolete_water obsolete_tintery "
         "container_alias $tet_container_nokindspecification container_nokindtag container_nosmoke "
         "container_oldcontainer dm_unsupportedformat val_musthavealightcontainer "
         "val_no_visible_mesh val_notownparent val_shadow_missing val_texturefilenotspecified "},
        {"ss",
         "container_emptycombobox container_emptylistbox container_emptyname "
         "container_emptystringerr container_emptystringwarn container_noanimationext "
         "container_nodefinition container_nomeshext container_nopictureext container_notboolean "
         "container_obsoletetag $tet_container_typespecification texture_missing_primary "
         "texture_missing_alpha val_duplicatecontainername val_duplicatetagname "
         "val_mustbeownparent val_mustbepaired val_nocollatemeshes "},
        {"s",
         "container_errorintemplate container_missingtag container_noattparent "
         "container_nocontainerdefinition dm_animationfailed duplicatetexture "
         "binary_texture_conversion_failed lm_performance_no_attachments lm_performance_single_lod "
         "lm_performance_low_poly mesh_load_mesh mesh_initialise_mesh mesh_successfulmesh "
         "mesh_failedmaterial mesh_load_texture mesh_animationfailedmesh "
         "mesh_animationfailedskeleton mesh_animationfailedres mesh_animationfailedobserver "
         "mesh_successfulanimation non_ansi_texture texture_failedload texture_notpower2 "
         "primaryalpha_notsamesize val_asset_not_local val_kuidnotindatabase val_missmatchcategory "
         "val_notpositive val_notzero val_nullkuidwarn val_scriptfiledne val_texturefiledne "},
        {"sss",
         "container_notavalidpossibility container_notavalidpossibility2 val_notype val_wrongtype "},
        {"sdd",
         "val_arraywrongsize "},
        {"d",
         "val_mustbeinlightcontainer "},
        {"sff",
         "val_notwithinrange "},
    };
    InterfaceTextDB& texts = InterfaceTextDB::Instance();
    size_t count = 0;
    for (const Group& g : groups) {
        std::istringstream keys(g.keys);
        for (std::string key; keys >> key; ++count) {
            SCOPED_TRACE(key);
            const std::string full = key.rfind("$tet_", 0) == 0 ? key : "$tet_" + key;
            const Nyx::PString text = texts.GetString(Nyx::PString(full), false);
            EXPECT_FALSE(text.Empty());
            EXPECT_EQ(Conversions(text.View()), g.conversions) << text.c_str();
        }
    }
    EXPECT_EQ(count, 75u);

    const Nyx::PString configAt = texts.GetString(Nyx::PString("$kad_unable_read_config_at"), false);
    EXPECT_NE(configAt.View().find("$(FILE_PATH)"), std::string_view::npos) << configAt.c_str();
    EXPECT_EQ(Conversions(configAt.View()), "");
}

// A data root carrying its own interface text looks the keys up by the
// names the code gives: each key the sources name has a text.
TEST_F(InterfaceTextKeysTest, EveryKeyTheSourcesNameHasAText)
{
    std::set<std::string> named;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(tetlibtest::ShippedSample() + "/../src")) {
        if (!entry.is_regular_file())
            continue;
        std::ostringstream text;
        text << std::ifstream(entry.path(), std::ios::binary).rdbuf();
        const std::string source = text.str();
        for (size_t at = source.find("\"$tet_"); at != std::string::npos; at = source.find("\"$tet_", at + 1)) {
            const size_t end = source.find('"', at + 1);
            if (end != std::string::npos)
                named.insert(source.substr(at + 1, end - at - 1));
        }
    }
    EXPECT_EQ(named.size(), 75u);
    for (const std::string& key : named)
        EXPECT_FALSE(InterfaceTextDB::Instance().GetString(Nyx::PString(key), false).Empty()) << key;
}

}  // namespace
