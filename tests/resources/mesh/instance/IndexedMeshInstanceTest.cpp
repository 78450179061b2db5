// The indexed mesh instance: binding, shared arrays, culling, drawing into
// the recording display, scale and opacity, textures and chunks.
#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"

#include <gtest/gtest.h>

#include <cmath>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/textures/Texture.h"
#include "nyx/scene/ParticleBone.h"
#include "nyx/scene/ViewPoint.h"
#include "resources/mesh/instance/InstanceTestSupport.h"

namespace {

using V = Nyx::Vector3f;

TestMesh TwoChunkMesh()
{
    TestMesh mesh;
    mesh.chunks.push_back(QuadStripChunk(2, "body.m.onetex"));
    mesh.chunks.push_back(QuadStripChunk(1, "glass.m.onetex"));
    mesh.attachments = TestAttachments{};
    mesh.attachments->points.push_back({"p.door.left", {1, 0, 0, 0, 1, 0, 0, 0, 1}, {1, 2, 3}});
    mesh.attachments->points.push_back({"a.hook", {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 1}});
    mesh.attachments->points.push_back({"other", {1, 0, 0, 0, 1, 0, 0, 0, 1}, {0, 0, 0}});
    return mesh;
}

TEST(IndexedMeshInstanceTest, BindingHoldsTheResourceAndTakesTheDefinitionsState)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    {
        auto instance = h.Bind();
        EXPECT_EQ(h.resource.references, 1);
        EXPECT_EQ(h.resource.locks, 1);
        EXPECT_EQ(instance->GetID(), 17u);
        EXPECT_EQ(instance->GetChunkCount(), 2u);
        EXPECT_EQ(instance->GetTotalPrimitiveCount(), 6u);
        EXPECT_EQ(instance->GetName(), h.load.definition->GetName());
        EXPECT_EQ(instance->GetChunkArray(), h.load.definition->GetSharedChunkArray());
        ASSERT_EQ(instance->GetReferencePoints().size(), 1u);
        const auto& names = instance->GetReferencePoints()[0]->GetNames();
        ASSERT_EQ(names.size(), 3u);
        EXPECT_EQ(names[1], Nyx::PString("door"));
        EXPECT_EQ(instance->GetReferencePoints()[0]->GetPosition(), (V{1, 2, 3}));
        ASSERT_EQ(instance->GetAttachmentPoints().size(), 1u);
        EXPECT_EQ(instance->GetAttachmentPoints()[0]->GetSecondName(), Nyx::PString("hook"));
        ASSERT_TRUE(instance->GetBoundingVolume().has_value());

        std::unique_ptr<Nyx::ViewPortParticle> copy(instance->CreateInstance());
        EXPECT_EQ(h.resource.references, 2);
        EXPECT_EQ(h.resource.locks, 2);
        EXPECT_EQ(copy->GetID(), 17u);
        EXPECT_EQ(static_cast<KestroIndexedMeshInstance*>(copy.get())->GetChunkArray(), instance->GetChunkArray());
    }
    EXPECT_EQ(h.resource.references, 0);
    EXPECT_EQ(h.resource.locks, 0);
}

TEST(IndexedMeshInstanceTest, ChunksFollowTheBonesTheirNamesGive)
{
    InstanceHarness h;
    TestMesh mesh;
    for (const char* name : {"", "root", "arm", "missing"}) {
        mesh.chunks.push_back(QuadStripChunk(1));
        mesh.chunks.back().geometry.name = name;
    }
    mesh.skeleton = TestSkeleton{};
    mesh.skeleton->root.name = "root";
    TestBone arm;
    arm.name = "arm";
    mesh.skeleton->root.children.push_back(arm);
    ASSERT_TRUE(h.Load(mesh));
    auto instance = h.Bind();
    Nyx::ParticleBone* root = h.load.definition->GetRootBone();
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->GetParent(), instance.get());
    EXPECT_EQ(instance->GetChunkBones(),
              (std::vector<Nyx::Particle*>{nullptr, root, root->Find(Nyx::PString("arm")), nullptr}));
}

TEST(IndexedMeshInstanceTest, InstancesShareArraysUntilOneMakesItsOwn)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto a = h.Bind();
    auto b = h.Bind();
    EXPECT_EQ(a->GetChunkArray(), b->GetChunkArray());
    EXPECT_EQ(a->GetMaterialArray(), b->GetMaterialArray());
    Nyx::GeometryChunk* shared = b->GetChunk(1);

    a->MakeChunkArrayPrivate();
    EXPECT_NE(a->GetChunkArray(), b->GetChunkArray());
    EXPECT_EQ(a->GetChunk(1), shared);  // a private array of the same chunks
    a->MakeChunkPrivate(1);
    a->MakeChunkPrivate(7);  // past the chunks: nothing
    ASSERT_NE(a->GetChunk(1), shared);
    a->GetChunk(1)->SetOpacity(0.25f);
    EXPECT_EQ(shared->GetOpacity(), 1.0f);
    EXPECT_EQ(b->GetChunk(1), shared);

    a->MakeMaterialArrayPrivate();
    a->MakeMaterialPrivate(0);
    EXPECT_NE(a->GetMaterial(0), b->GetMaterial(0));
    EXPECT_EQ(a->GetMaterial(0)->GetName(), b->GetMaterial(0)->GetName());
    EXPECT_EQ(a->GetMaterial(1), b->GetMaterial(1));
}

TEST(IndexedMeshInstanceTest, CullAddsOnlyVisibleInstancesWithOpacity)
{
    struct Case {
        const char* name;
        float opacity;
        V cameraAt;
        bool added;
    };
    const Case cases[] = {
        {"in view", 1.0f, {0.5f, 0.5f, 10.0f}, true},
        {"transparent", 0.0f, {0.5f, 0.5f, 10.0f}, false},
        {"below zero", -1.0f, {0.5f, 0.5f, 10.0f}, false},
        {"behind the camera", 1.0f, {0.5f, 0.5f, -10.0f}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        InstanceHarness h;
        ASSERT_TRUE(h.Load(TwoChunkMesh()));
        auto instance = h.Bind();
        instance->SetOpacity(c.opacity);
        Nyx::ViewPoint view(7);
        view.GetCamera().SetFrame(c.cameraAt, {});
        instance->Cull(view);
        EXPECT_EQ(view.GetAdded().size(), c.added ? 1u : 0u);
        EXPECT_EQ(instance->GetLastCulledFrame(), 7u);
        EXPECT_EQ(instance->HasStoredMatrix(), c.added);
        EXPECT_EQ(instance->IsNotInFrame(view), c.cameraAt.z < 0);
    }
}

TEST(IndexedMeshInstanceTest, FarInstancesAskForCoarserMipLevels)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto instance = h.Bind();
    Nyx::ViewPoint view;
    view.GetCamera().SetFrame({1, 0.5f, 200.0f}, {});
    instance->Cull(view);
    const uint32_t far = instance->GetMaterial(0)->GetWantedMipLevel();
    view.GetCamera().SetFrame({1, 0.5f, 5.0f}, {});
    instance->Cull(view);
    EXPECT_EQ(instance->GetMaterial(0)->GetWantedMipLevel(), 0u);
    EXPECT_GT(far, 0u);
}

TEST(IndexedMeshInstanceTest, ScaleSetsTheFlagAndScalesOnlyTheBoundingVolume)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto instance = h.Bind();
    const V half = instance->GetOrientedBox().GetHalfSize();
    instance->SetScale(2, 1, 0.5f);
    EXPECT_TRUE(instance->IsScaled());
    EXPECT_EQ(instance->GetBoundingVolume()->GetHalfSize(), (V{half.x * 2, half.y, half.z * 0.5f}));
    EXPECT_EQ(instance->GetOrientedBox().GetHalfSize(), half);
    EXPECT_EQ(*instance->GetScaleAddress(), (V{2, 1, 0.5f}));
    instance->SetScale(1, 1, 1);
    EXPECT_FALSE(instance->IsScaled());
    EXPECT_EQ(instance->GetBoundingVolume()->GetHalfSize(), half);
}

TEST(IndexedMeshInstanceTest, RenderDrawsEveryChunkIntoTheDisplayWithTheInstancesTransform)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto instance = h.Bind();
    instance->SetReferenceFrame({5, 0, 0}, {});
    Nyx::ViewPoint view;
    h.display.ClearRecording();
    instance->Render(h.display, view);
    EXPECT_EQ(h.display.GetEventNames(),
              (std::vector<std::string>{"RenderLightTarget", "SetTransform", "DrawChunk", "SetTransform",
                                        "DrawChunk"}));
    ASSERT_EQ(h.display.GetDraws().size(), 2u);
    EXPECT_EQ(h.display.GetDraws()[1].chunk, instance->GetChunk(1));
    EXPECT_EQ(h.display.GetDraws()[1].material, instance->GetMaterial(1));
    EXPECT_EQ(h.display.GetDraws()[0].primitiveCount, 4u);
    EXPECT_EQ(h.display.GetDraws()[0].state.transform.position, (V{5, 0, 0}));

    instance->SetScale(2, 2, 2);
    h.display.ClearRecording();
    instance->Render(h.display, view);
    ASSERT_FALSE(h.display.GetEvents().empty());
    EXPECT_EQ(h.display.GetEvents()[0], (Nyx::DisplayEvent{"SetRenderScale", {2, 2, 2}}));
    EXPECT_EQ(h.display.GetDraws()[0].state.transform.scale, (V{2, 2, 2}));
}

TEST(IndexedMeshInstanceTest, DrawGeometrySetsLightingOnlyWhenAskedTo)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto instance = h.Bind();
    instance->SetOpacity(0.5f);
    Nyx::ViewPoint view;
    Nyx::Transform at;
    at.position = {0, 3, 0};
    for (bool light : {false, true}) {
        h.display.ClearRecording();
        instance->DrawGeometry(h.display, view, at, light);
        std::vector<std::string> expected;
        for (int chunk = 0; chunk < 2; ++chunk) {
            expected.push_back("SetTransform");
            if (light)
                expected.push_back("SetLightingState");
            expected.push_back("SetVertexProgram");
            expected.push_back("DrawChunk");
        }
        EXPECT_EQ(h.display.GetEventNames(), expected);
        EXPECT_EQ(h.display.GetDraws()[0].state.transform, at);
        EXPECT_EQ(h.display.GetDraws()[0].state.opacity, light ? 0.5f : 1.0f);
    }
    h.display.ClearRecording();
    instance->UpdateLighting(h.display, view, at, false);  // asked for once, after binding
    instance->UpdateLighting(h.display, view, at, false);
    instance->UpdateLighting(h.display, view, at, true);
    EXPECT_EQ(h.display.GetEventNames(), (std::vector<std::string>{"CalculateLighting", "CalculateLighting"}));
    EXPECT_EQ(h.display.GetEvents()[0].values[0], 2.0f);
}

TEST(IndexedMeshInstanceTest, OpacityReachesEveryChunk)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto instance = h.Bind();
    instance->SetOpacity(0.3f);
    EXPECT_EQ(instance->GetOpacity(), 0.3f);
    EXPECT_EQ(instance->GetChunk(0)->GetOpacity(), 0.3f);
    EXPECT_EQ(instance->GetChunk(1)->GetOpacity(), 0.3f);
}

TEST(IndexedMeshInstanceTest, ATextureIsReplacedOnlyFromTheFourPixelFormats)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto instance = h.Bind();
    auto* texture = new Nyx::Texture(Nyx::PString("paint"));
    texture->AddRef();
    ASSERT_EQ(instance->GetMaterial(0)->SetTexture(texture, 0, 1.0f), Nyx::Material::kOk);
    const uint8_t pixels[16] = {};
    struct Case {
        uint32_t pixelFormat;
        bool replaced;
        uint32_t displayFormat;
    };
    const Case cases[] = {{0, false, 0}, {5, false, 0}, {1, true, 5}, {2, true, 1}, {3, true, 3}, {4, true, 8}};
    uint32_t replacements = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pixelFormat);
        const uint32_t formatBefore = texture->GetFormat().Get();
        EXPECT_EQ(instance->ReplaceTexture(0, Nyx::PString("paint"), {2, 2, c.pixelFormat, pixels}), c.replaced);
        replacements += c.replaced;
        EXPECT_EQ(texture->GetReplacementCount(), replacements);
        EXPECT_EQ(texture->GetFormat().Get(), c.replaced ? c.displayFormat : formatBefore);
    }
    EXPECT_FALSE(instance->ReplaceTexture(0, Nyx::PString("other"), {2, 2, 2, pixels}));
    EXPECT_FALSE(instance->ReplaceTexture(9, Nyx::PString("paint"), {2, 2, 2, pixels}));
    texture->Release();
}

TEST(IndexedMeshInstanceTest, ProjectionMapsEveryPositionOntoThePlane)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto instance = h.Bind();
    const float m[9] = {1, 0, 0, 0, 2, 0, 0, 0, 0};  // (x, 2y)
    const float t[3] = {10, 20, 30};
    KestroIndexedMeshInstance::ProjectionRing ring;
    instance->ProjectVertices(ring, m, t);
    ASSERT_EQ(ring.Count(), 12u);  // 8 + 4 vertices
    auto it = ring.begin();
    ++it;
    ++it;
    const ProjectedPoint third = *it;  // from (1, 1, 0)
    EXPECT_EQ(third.x, 10.0f + 1.0f);
    EXPECT_EQ(third.y, 20.0f + 2.0f);
}

TEST(IndexedMeshInstanceTest, AddAndFillChunkRefuseWhatTheyCannotTake)
{
    InstanceHarness h;
    ASSERT_TRUE(h.Load(TwoChunkMesh()));
    auto a = h.Bind();
    auto b = h.Bind();
    Nyx::GeometryChunk* extra = a->GetChunk(1)->CreateInstance();
    Nyx::Material* material = a->GetMaterial(1);

    extra->SetFlags(KestroIndexedMeshInstance::kChunkFlagSoftwareSkinned);
    EXPECT_FALSE(a->AddChunk(extra, material));
    extra->SetFlags(0);
    extra->SetOwner(b.get());
    EXPECT_FALSE(a->AddChunk(extra, material));
    extra->SetOwner(nullptr);
    ASSERT_TRUE(a->AddChunk(extra, material));
    EXPECT_EQ(a->GetChunkCount(), 3u);
    EXPECT_EQ(a->GetChunk(2), extra);
    EXPECT_EQ(b->GetChunkCount(), 2u);
    EXPECT_NE(a->GetChunkArray(), b->GetChunkArray());

    // Filling needs rebuildable chunks of one kind and vertex type.
    EXPECT_FALSE(a->FillChunk(*extra, 0));
    for (uint32_t i = 0; i < 3; ++i)
        a->GetChunk(i)->SetFlags(KestroIndexedMeshInstance::kChunkFlagRebuildable);
    EXPECT_FALSE(a->FillChunk(*extra, 3));
    Nyx::GeometryChunk* before = a->GetChunk(0);
    ASSERT_TRUE(a->FillChunk(*extra, 0));
    EXPECT_NE(a->GetChunk(0), before);
    EXPECT_EQ(a->GetChunk(0)->GetVertexCount(), extra->GetVertexCount());
    EXPECT_EQ(a->GetChunk(0)->GetMaterial(), before->GetMaterial());
    extra->Release();
}

}  // namespace
