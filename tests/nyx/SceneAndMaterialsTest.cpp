// The engine stand-ins where the preview scene relies on more than its own
// use shows: the particle tree stays a tree, and the display holds one
// rendering cache per id.
#include <gtest/gtest.h>

#include "nyx/gfx/materials/RenderingCache.h"
#include "nyx/scene/SceneGraph.h"

namespace {

TEST(ParticleTest, TheTreeStaysATreeAndOutlivesItsParticles)
{
    Nyx::SceneGraph graph;
    Nyx::Particle& root = graph.GetRoot();
    auto* a = new Nyx::Particle;
    auto* b = new Nyx::Particle;
    EXPECT_TRUE(root.AddChild(a));
    EXPECT_TRUE(a->AddChild(b));
    EXPECT_FALSE(b->AddChild(&root));  // an ancestor
    EXPECT_FALSE(b->AddChild(b));
    EXPECT_TRUE(root.AddChild(b));  // moved, not copied
    EXPECT_TRUE(a->GetChildren().empty());
    auto* c = new Nyx::Particle;
    a->AddChild(c);
    delete a;  // leaves its parent; its child stays, without one
    EXPECT_EQ(c->GetParent(), nullptr);
    EXPECT_EQ(root.GetChildren(), std::vector<Nyx::Particle*>{b});
    graph.QueueDelete(b);
    graph.QueueDelete(b);
    graph.QueueDelete(c);
    EXPECT_TRUE(root.GetChildren().empty());
    EXPECT_EQ(graph.PurgeDeathRow(), 2u);
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
    EXPECT_EQ(manager.FindCache(Nyx::UnsortedAlphaBlendCache::kId), first);
    EXPECT_TRUE(manager.RemoveCache(first));
    EXPECT_FALSE(manager.RemoveCache(first));
    EXPECT_EQ(first->RefCount(), 1);
    EXPECT_TRUE(manager.AddCache(second));
    first->Release();
    second->Release();  // the manager's reference keeps it
    EXPECT_EQ(manager.FindCache(Nyx::UnsortedAlphaBlendCache::kId), second);
}

}  // namespace
