// The shipped interface text holds a text for every message key of the
// validation library, and each text takes its message's arguments: the
// conversions, in order, fit what the report passes (s text, d whole
// number, f real number).
#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "TETLibTestSupport.h"
#include "config/InterfaceTextDB.h"

namespace {

// The kinds of the conversions of a format, in order ("%%" is none).
std::string Conversions(std::string_view text)
{
    std::string out;
    for (size_t at = text.find('%'); at != std::string_view::npos; at = text.find('%', at)) {
        ++at;
        while (at < text.size() && std::string_view("-+ #0123456789.lh").find(text[at]) != std::string_view::npos)
            ++at;
        if (at >= text.size())
            break;
        const char c = text[at++];
        if (c == '%')
            continue;
        out += c == 's' ? 's' : (c == 'd' || c == 'i' || c == 'u') ? 'd' : std::string_view("fgeFGE").find(c) != std::string_view::npos ? 'f' : '?';
    }
    return out;
}

class InterfaceTextKeysTest : public tetlibtest::ValidationDataFixture {};

TEST_F(InterfaceTextKeysTest, EveryKeyHasATextTakingItsArguments)
{
    struct Key {
        const char* key;
        const char* conversions;
    };
    const Key keys[] = {
        {"$tet_eh_error", ""},
        {"$tet_eh_warning", ""},
        {"$tet_eh_message", ""},
        {"$tet_future_asset", ""},
        {"$tet_obsolete_water", ""},
        {"$tet_obsolete_tintery", ""},
        {"$tet_container_alias", ""},
        {"$tet_container_emptycombobox", "ss"},
        {"$tet_container_emptylistbox", "ss"},
        {"$tet_container_emptyname", "ss"},
        {"$tet_container_emptystringerr", "ss"},
        {"$tet_container_emptystringwarn", "ss"},
        {"$tet_container_errorintemplate", "s"},
        {"$tet_container_missingtag", "s"},
        {"$tet_container_noanimationext", "ss"},
        {"$tet_container_noattparent", "s"},
        {"$tet_container_nocontainerdefinition", "s"},
        {"$tet_container_nodefinition", "ss"},
        {"$tet_container_nokindspecification", ""},
        {"$tet_container_nokindtag", ""},
        {"$tet_container_nomeshext", "ss"},
        {"$tet_container_nopictureext", "ss"},
        {"$tet_container_nosmoke", ""},
        {"$tet_container_notavalidpossibility", "sss"},
        {"$tet_container_notavalidpossibility2", "sss"},
        {"$tet_container_notboolean", "ss"},
        {"$tet_container_obsoletetag", "ss"},
        {"$tet_container_oldcontainer", ""},
        {"$tet_container_typespecification", "ss"},
        {"$tet_dm_animationfailed", "s"},
        {"$tet_dm_unsupportedformat", ""},
        {"$tet_duplicatetexture", "s"},
        {"$tet_binary_texture_conversion_failed", "s"},
        {"$tet_lm_performance_no_attachments", "s"},
        {"$tet_lm_performance_single_lod", "s"},
        {"$tet_lm_performance_low_poly", "s"},
        {"$tet_mesh_load_mesh", "s"},
        {"$tet_mesh_initialise_mesh", "s"},
        {"$tet_mesh_successfulmesh", "s"},
        {"$tet_mesh_failedmaterial", "s"},
        {"$tet_mesh_load_texture", "s"},
        {"$tet_mesh_animationfailedmesh", "s"},
        {"$tet_mesh_animationfailedskeleton", "s"},
        {"$tet_mesh_animationfailedres", "s"},
        {"$tet_mesh_animationfailedobserver", "s"},
        {"$tet_mesh_successfulanimation", "s"},
        {"$tet_non_ansi_texture", "s"},
        {"$tet_texture_failedload", "s"},
        {"$tet_texture_missing_primary", "ss"},
        {"$tet_texture_missing_alpha", "ss"},
        {"$tet_texture_notpower2", "s"},
        {"$tet_primaryalpha_notsamesize", "s"},
        {"$tet_val_arraywrongsize", "sdd"},
        {"$tet_val_asset_not_local", "s"},
        {"$tet_val_duplicatecontainername", "ss"},
        {"$tet_val_duplicatetagname", "ss"},
        {"$tet_val_kuidnotindatabase", "s"},
        {"$tet_val_missmatchcategory", "s"},
        {"$tet_val_mustbeinlightcontainer", "d"},
        {"$tet_val_mustbeownparent", "ss"},
        {"$tet_val_mustbepaired", "ss"},
        {"$tet_val_musthavealightcontainer", ""},
        {"$tet_val_no_visible_mesh", ""},
        {"$tet_val_nocollatemeshes", "ss"},
        {"$tet_val_notownparent", ""},
        {"$tet_val_notpositive", "s"},
        {"$tet_val_notwithinrange", "sff"},
        {"$tet_val_notype", "sss"},
        {"$tet_val_notzero", "s"},
        {"$tet_val_nullkuidwarn", "s"},
        {"$tet_val_scriptfiledne", "s"},
        {"$tet_val_shadow_missing", ""},
        {"$tet_val_texturefiledne", "s"},
        {"$tet_val_texturefilenotspecified", ""},
        {"$tet_val_wrongtype", "sss"},
    };
    InterfaceTextDB& texts = InterfaceTextDB::Instance();
    for (const Key& k : keys) {
        SCOPED_TRACE(k.key);
        const Nyx::PString text = texts.GetString(Nyx::PString(k.key), false);
        EXPECT_FALSE(text.Empty());
        EXPECT_EQ(Conversions(text.View()), k.conversions) << text.c_str();
    }

    const Nyx::PString configAt = texts.GetString(Nyx::PString("$kad_unable_read_config_at"), false);
    EXPECT_NE(configAt.View().find("$(FILE_PATH)"), std::string_view::npos) << configAt.c_str();
    EXPECT_EQ(Conversions(configAt.View()), "");
}

}  // namespace
