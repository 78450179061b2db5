// The engine stand-ins the validation library's preview scene and dummy
// materials are built on: the particle tree, the death row, the rendering
// caches and the material types.
#include <gtest/gtest.h>

#include <string>

#include "nyx/gfx/GeometryChunk.h"
#include "nyx/gfx/Material.h"
#include "nyx/gfx/MaterialManager.h"
#include "nyx/gfx/RenderingCache.h"
#include "nyx/gfx/Texture.h"
#include "nyx/scene/SceneGraph.h"

namespace {

TEST(ParticleTest, TheTreeStaysATreeAndOutlivesItsParticles)
{
    Nyx::Particle root;
    auto* a = new Nyx::Particle;
    auto* b = new Nyx::Particle;
    EXPECT_TRUE(root.AddChild(a));
    EXPECT_TRUE(a->AddChild(b));
    EXPECT_FALSE(b->AddChild(&root));  // an ancestor
    EXPECT_FALSE(b->AddChild(b));
    EXPECT_FALSE(root.AddChild(nullptr));

    EXPECT_TRUE(root.AddChild(b));  // moved, not copied
    EXPECT_TRUE(a->GetChildren().empty());
    EXPECT_EQ(b->GetParent(), &root);
    EXPECT_FALSE(a->RemoveChild(b));

    delete b;  // leaves its parent
    ASSERT_EQ(root.GetChildren().size(), 1u);
    auto* c = new Nyx::Particle;
    a->AddChild(c);
    delete a;  // its child stays, without a parent
    EXPECT_EQ(c->GetParent(), nullptr);
    EXPECT_TRUE(root.GetChildren().empty());
    delete c;

    Nyx::Particle flags;
    flags.SetFlag(Nyx::Particle::kFlagActive | 1u);
    flags.ClearFlag(1u);
    EXPECT_EQ(flags.GetFlags(), Nyx::Particle::kFlagActive);
}

TEST(SceneGraphTest, DeathRowDeletesAtThePurgeOnce)
{
    Nyx::SceneGraph graph;
    auto* shown = new Nyx::Particle;
    auto* child = new Nyx::Particle;
    ASSERT_TRUE(graph.AddParticle(shown));
    shown->AddChild(child);
    graph.QueueDelete(shown);
    graph.QueueDelete(shown);
    graph.QueueDelete(&graph.GetRoot());
    EXPECT_TRUE(graph.GetRoot().GetChildren().empty());
    EXPECT_EQ(graph.GetDeathRowCount(), 1u);
    graph.QueueDelete(child);
    EXPECT_EQ(graph.PurgeDeathRow(), 2u);
    EXPECT_EQ(graph.PurgeDeathRow(), 0u);
    graph.QueueDelete(new Nyx::Particle);  // the graph's end purges it
}

TEST(RenderingCacheTest, OneCachePerIdHeldUntilRemoved)
{
    Nyx::RenderingCacheManager manager;
    auto* first = new Nyx::UnsortedAlphaBlendCache(1);
    auto* second = new Nyx::UnsortedAlphaBlendCache(2);
    first->AddRef();
    second->AddRef();
    EXPECT_TRUE(manager.AddCache(first));
    EXPECT_FALSE(manager.AddCache(second));
    EXPECT_FALSE(manager.AddCache(nullptr));
    EXPECT_EQ(manager.FindCache(Nyx::UnsortedAlphaBlendCache::kId), first);
    EXPECT_EQ(manager.FindCache(0), nullptr);
    EXPECT_EQ(first->RefCount(), 2);
    EXPECT_TRUE(manager.RemoveCache(first));
    EXPECT_FALSE(manager.RemoveCache(first));
    EXPECT_EQ(first->RefCount(), 1);
    EXPECT_TRUE(manager.AddCache(second));
    first->Release();
    second->Release();  // the manager's reference keeps it
    EXPECT_EQ(manager.GetCacheCount(), 1u);
}

Nyx::Material* MakeGlossy(const Nyx::PString& name, const Nyx::PString& type)
{
    Nyx::Material* m = new Nyx::Material(name, Nyx::PString(type.Str() + "-glossy"));
    m->AddRef();
    return m;
}

TEST(MaterialManagerTest, DecoratedNamesPickTheNewestEnrolmentOfTheirType)
{
    struct Case {
        const char* name;
        const char* type;
    };
    const Case types[] = {
        {"body.m.onetex", "onetex"}, {"a.m.b.m.gloss", "gloss"}, {"body.onetex", ""}, {"body.m.", ""}, {"", ""},
    };
    for (const Case& c : types)
        EXPECT_EQ(Nyx::MaterialManager::TypeOf(c.name), c.type) << c.name;

    Nyx::MaterialManager manager;
    struct Load {
        const char* name;
        const char* type;  // null: no material
    };
    auto check = [&](const Load& l) {
        Nyx::Material* m = manager.LoadMaterial(Nyx::PString(l.name));
        if (!l.type) {
            EXPECT_EQ(m, nullptr) << l.name;
            return;
        }
        ASSERT_NE(m, nullptr) << l.name;
        EXPECT_EQ(m->GetName().Str(), l.name);
        EXPECT_EQ(m->GetType().Str(), l.type);
        EXPECT_EQ(m->RefCount(), 1);
        m->Release();
    };
    for (const Load& l : {Load{"x.m.NoTex", "notex"}, Load{"x.m.reflect", "reflect"}, Load{"x.m.tbumptex", nullptr},
                          Load{"x.notex", nullptr}})
        check(l);

    const uint32_t token = Nyx::MaterialManager::RegisterType("REFLECT", &MakeGlossy);
    ASSERT_NE(token, 0u);
    EXPECT_EQ(Nyx::MaterialManager::RegisterType("", &MakeGlossy), 0u);
    check({"x.m.reflect", "reflect-glossy"});
    Nyx::MaterialManager::UnregisterType(token);
    Nyx::MaterialManager::UnregisterType(token);
    check({"x.m.reflect", "reflect"});
    EXPECT_EQ(manager.GetLoadCount(), 6u);
}

TEST(MaterialManagerTest, TexturesAndChunksHoldWhatTheyUse)
{
    Nyx::SharedTextureCollection textures;
    EXPECT_EQ(textures.AddTexture(nullptr), Nyx::SharedTextureCollection::kNoIndex);
    EXPECT_EQ(textures.AddTexture(new Nyx::Texture(Nyx::PString("white"))), 0u);
    EXPECT_EQ(textures.GetTexture(1), nullptr);
    Nyx::Texture* white = textures.GetTexture(0);
    ASSERT_NE(white, nullptr);

    auto* material = new Nyx::OneTextureMaterial(Nyx::PString("x.m.gloss"), Nyx::PString("gloss"));
    material->AddRef();
    EXPECT_EQ(material->SetTexture(nullptr, 9, 1.0f), Nyx::Material::kMissingTexture);
    EXPECT_EQ(material->SetTexture(white, 9, 1.0f), Nyx::Material::kOk);
    textures.Clear();
    white->Release();
    EXPECT_EQ(material->GetTexture()->GetName().Str(), "white");  // still held by the material

    Nyx::ChunkHint hint;
    hint.vertexSize = 24;
    EXPECT_EQ(Nyx::GeometryChunk::Create(nullptr, hint, 3, 1, 3), nullptr);
    EXPECT_EQ(Nyx::GeometryChunk::Create(material, Nyx::ChunkHint{}, 3, 1, 3), nullptr);
    Nyx::GeometryChunk* chunk = Nyx::GeometryChunk::Create(material, hint, 3, 1, 3);
    ASSERT_NE(chunk, nullptr);
    material->Release();
    EXPECT_EQ(chunk->GetMaterial()->GetName().Str(), "x.m.gloss");
    chunk->Release();
}

}  // namespace
