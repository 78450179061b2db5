// NyxGetPlugins' objects: seven material plug-ins and five resource types,
// in order, with their names and identifiers, the shared family, and the
// class each resource type makes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "nyx/Plugin.h"
#include "nyx/gfx/materials/MaterialPlugin.h"
#include "nyx/resource/Resource.h"
#include "nyx/resource/ResourceType.h"
#include "resources/mesh/resource/KestroIndexedMeshLODResource.h"
#include "resources/mesh/resource/KestroIndexedMeshResource.h"
#include "resources/mesh/resource/KestroProgressiveMeshResource.h"
#include "resources/registration/KestroPluginRegistration.h"
#include "resources/textures/CompressAsciiResource.h"

namespace {

using KestroPluginRegistration::Entry;

// What one call made, made once for the whole program.
const std::vector<Nyx::PluginType*>& Made()
{
    static const std::vector<Nyx::PluginType*> made = [] {
        std::vector<Nyx::PluginType*> out;
        KestroPluginRegistration::RegisterAll(&out);
        return out;
    }();
    return made;
}

TEST(PluginRegistrationTest, TwelveObjectsInOrderWithTheirNamesAndIdentifiers)
{
    const Entry expected[] = {
        {"tbumpgloss", "F7478888-C721-48AB-B3C0-19621E66554E"},
        {"tbumptex", "E34011F3-C721-48ba-B3C0-19621E408CBD"},
        {"tbumpenv", "0ECEE41C-76E7-47fd-ADBB-0E938E809C03"},
        {"tonetexnoalpha", "4BB6C98F-6FDF-4cb9-9CE2-7E40B2A78626"},
        {"tglossrust", "AFCA4E1B-811A-56EE-89E4-CAB13F9B6712"},
        {"tmpfx", "643AFE90-426A-46EE-C19F-FFA0A471ABD7"},
        {"nofogtex", "AB84944B-00A6-4a18-8BAF-4664E98075AA"},
        {"kestro.im", "B9E68EA1-56A3-4a6d-9D5D-C5C020F944E6"},
        {"kestro.pm", "2E8739F0-412F-48c2-9F71-912B659C58B6"},
        {"kestro.lm.txt", "8FCC40D7-8BDD-4d14-B528-65692F5DF710"},
        {"kestro.lm", "8FCC40D7-8BDD-4d14-B528-65692F5DF710"},
        {"convert-tex.txt", "A6805E60-4C54-1278-1111-00010251467D"},
    };
    const std::vector<Nyx::PluginType*>& made = Made();
    ASSERT_EQ(made.size(), std::size(expected));
    for (size_t i = 0; i < made.size(); ++i) {
        SCOPED_TRACE(expected[i].name);
        EXPECT_EQ(made[i]->GetName().View(), expected[i].name);
        EXPECT_EQ(made[i]->GetTypeId(), Nyx::UId(expected[i].uid));
        EXPECT_FALSE(made[i]->GetTypeId().IsNull());
        const bool material = i < 7;
        EXPECT_EQ(dynamic_cast<Nyx::MaterialPlugin*>(made[i]) != nullptr, material);
        // The family is the third value: the type's own identifier is not it.
        EXPECT_EQ(made[i]->GetFamily(),
                  Nyx::UId(material ? Nyx::kMaterialPluginFamily : Nyx::kResourceTypeFamily));
    }
    // The ground-base material has constants but no plug-in.
    EXPECT_EQ(Nyx::PluginBase::LookupPluginType(Nyx::UId(Nyx::kMaterialPluginFamily), Nyx::PString("groundbase")),
              nullptr);
}

TEST(PluginRegistrationTest, EachResourceTypeMakesItsClass)
{
    struct Case {
        size_t index;
        bool (*is)(Nyx::Resource*);
    };
    const Case cases[] = {
        {7, [](Nyx::Resource* r) { return dynamic_cast<KestroIndexedMeshResource*>(r) != nullptr; }},
        {8, [](Nyx::Resource* r) { return dynamic_cast<KestroProgressiveMeshResource*>(r) != nullptr; }},
        {9, [](Nyx::Resource* r) { return dynamic_cast<KestroIndexedMeshLODResource*>(r) != nullptr; }},
        {10, [](Nyx::Resource* r) { return dynamic_cast<KestroIndexedMeshLODResource*>(r) != nullptr; }},
        {11, [](Nyx::Resource* r) { return dynamic_cast<CompressAsciiResource*>(r) != nullptr; }},
    };
    for (const Case& c : cases) {
        auto* type = dynamic_cast<Nyx::ResourceTypeBase*>(Made()[c.index]);
        ASSERT_NE(type, nullptr);
        SCOPED_TRACE(type->GetName().Str());
        Nyx::Resource* resource = type->Create(Nyx::PString("x"), nullptr);
        ASSERT_NE(resource, nullptr);
        EXPECT_TRUE(c.is(resource));
        EXPECT_EQ(resource->GetName().View(), "x");
        EXPECT_GT(type->GetObjectSize(), 0u);
        resource->AddReference();
        resource->ReleaseReference();
    }
}

}  // namespace
