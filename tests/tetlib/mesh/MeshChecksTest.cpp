// The mesh and animation checks through a fake mesh inspection: which files
// load as what, the current mesh, the LOD performance warnings, materials,
// textures and the animation results.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "nyx/anim/Animator.h"
#include "tetlib/TETLibTestSupport.h"
#include "tetlib/container/Container.h"
#include "tetlib/data/AssetPaths.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/mesh/FakeMeshInspection.h"
#include "tetlib/mesh/LODMeshData.h"

namespace {

using Lines = std::vector<std::string>;
using tetlibtest::FakeMesh;

constexpr const char* kFolder = "local/asset";

class MeshChecksTest : public tetlibtest::ValidationDataFixture {
protected:
    void SetUp() override
    {
        ValidationDataFixture::SetUp();
        SetContentRootPath(Nyx::File::Path(folder_.Path()));
        Manager();
        manager_ = &TETLib::DataManager::Instance();
        manager_->SetCurrentAssetFolder(Nyx::File::Path(kFolder), nullptr);
        manager_->assetBuild = 3.0f;
        root_.SetName(Nyx::PString("asset"));
        Kind("scenery");
        TETLib::ErrorHandler::Instance()->Clear();
    }
    void TearDown() override
    {
        manager_->CollectGarbage();
        ValidationDataFixture::TearDown();
        SetContentRootPath(Nyx::File::Path());
    }

    void Kind(const char* kind)
    {
        ChunkRef config;
        TDBContainerTag::SetString(config, Nyx::PString("kind"), Nyx::PString(kind));
        root_.SetConfig(config);
    }
    // A mesh of the asset folder, served by the fake.
    void Serve(const std::string& file, FakeMesh mesh) { fake_.meshes[std::string(kFolder) + "/" + file] = mesh; }
    TETLib::MeshData* Load(const std::string& file, bool bound = true)
    {
        return manager_->LoadMeshFile(Nyx::PString(std::string(kFolder) + "/" + file), bound ? &root_ : nullptr);
    }
    static Lines Findings()
    {
        Lines out;
        for (const auto& m : TETLib::ErrorHandler::Instance()->GetMessages())
            out.push_back(std::to_string(m->severity) + " " + m->key.Str());
        return out;
    }
    static std::string Text(int severity, const char* key, const std::string& argument)
    {
        return std::to_string(severity) + " " + TETLib::MessageText(Nyx::PString(key), {argument}).Str();
    }
    static std::string Path(const std::string& file) { return std::string(kFolder) + "/" + file; }

    TETLib::DataManager* manager_ = nullptr;
    TETLib::Container root_;
    tetlibtest::FakeMeshInspection fake_;
};

TEST_F(MeshChecksTest, OldProgressiveMeshesWarnBefore290AndFailFrom290)
{
    struct Case {
        float build;
        int severity;
    };
    for (const Case& c : {Case{2.8f + 0.001f, 2}, Case{2.9f + 0.001f, 3}}) {
        SCOPED_TRACE(c.build);
        TETLib::ErrorHandler::Instance()->Clear();
        manager_->meshProblemReported = false;
        manager_->assetBuild = c.build;
        Serve("old.pm", FakeMesh().Kind(TETLib::MeshResourceKind::kProgressive));
        EXPECT_EQ(Load("old.pm"), nullptr);
        EXPECT_EQ(Findings(), Lines{std::to_string(c.severity) + " " +
                                    TETLib::MessageText(Nyx::PString("$tet_dm_unsupportedformat")).Str()});
        EXPECT_TRUE(manager_->meshProblemReported);
        EXPECT_EQ(manager_->GetLoadedObjectCount(), 0u);
    }
}

TEST_F(MeshChecksTest, AnAnimationBeforeAnyMeshIsReportedOncePerAsset)
{
    EXPECT_EQ(Load("walk.kin"), nullptr);
    EXPECT_EQ(Load("run.kin"), nullptr);
    EXPECT_EQ(Findings(), Lines{Text(3, "$tet_dm_animationfailed", Path("walk.kin"))});
    EXPECT_TRUE(manager_->meshProblemReported);
}

TEST_F(MeshChecksTest, LODPerformanceWarnings)
{
    struct Case {
        const char* kind;
        FakeMesh mesh;
        std::vector<const char*> keys;
    };
    const Case cases[] = {
        {"scenery", FakeMesh().Points({"a.x"}).Levels({299}),
         {"$tet_lm_performance_single_lod", "$tet_lm_performance_low_poly"}},
        {"scenery", FakeMesh().Points({"a.x"}).Levels({300}), {"$tet_lm_performance_single_lod"}},
        {"scenery", FakeMesh().Points({"a.x"}).Levels({900, 300}), {}},
        {"scenery", FakeMesh().Points({"a.x"}).Levels({900, 299}), {"$tet_lm_performance_low_poly"}},
        {"scenery", FakeMesh().Levels({900, 300}), {"$tet_lm_performance_no_attachments"}},
        {"scenery", FakeMesh().Attached(1).Levels({900, 300}), {}},
        {"bogey", FakeMesh().Levels({299}), {}},
        {"traincar", FakeMesh().Levels({299}), {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.kind + std::to_string(c.mesh.levelPolygons.back()));
        TETLib::ErrorHandler::Instance()->Clear();
        Kind(c.kind);
        Serve("body.lm", c.mesh);
        TETLib::MeshData* mesh = Load("body.lm");
        ASSERT_NE(mesh, nullptr);
        EXPECT_NE(dynamic_cast<TETLib::LODMeshData*>(mesh), nullptr);
        Lines expected;
        for (const char* key : c.keys)
            expected.push_back(Text(2, key, Path("body.lm")));
        EXPECT_EQ(Findings(), expected);
    }
    // The text form of an LOD mesh loads as one; other texts load nothing.
    Serve("hull.lm.txt", FakeMesh().Points({"a.x"}));
    EXPECT_NE(Load("hull.lm.txt"), nullptr);
    EXPECT_EQ(Load("notes.txt"), nullptr);
}

TEST_F(MeshChecksTest, ALoadedMeshBecomesCurrentWithItsPointsAndParticles)
{
    Serve("a.im", FakeMesh().Points({"root/arm/a.light", "a.top"}).Particles({"smoke"}));
    Serve("b.im", FakeMesh());
    TETLib::MeshData* first = Load("a.im");
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(first->IsLoaded());
    EXPECT_TRUE(first->HasFlag(Nyx::Particle::kFlagActive));
    EXPECT_EQ(manager_->GetCurrentObject(), first);
    EXPECT_EQ(first->GetAttachmentPoints()[0].name.Str(), "a.light");
    EXPECT_TRUE(first->HoldsPoint(Nyx::PString("smoke")));
    EXPECT_EQ(first->GetInstanceData(), 7u);
    EXPECT_EQ(fake_.lookups, Lines{"local/asset/a.im"});

    TETLib::MeshData* second = Load("b.im");
    ASSERT_NE(second, nullptr);
    EXPECT_FALSE(first->HasFlag(Nyx::Particle::kFlagActive));
    EXPECT_EQ(manager_->GetCurrentObject(), second);
    EXPECT_EQ(manager_->GetLoadedObjectCount(), 2u);
    EXPECT_TRUE(Findings().empty());
}

// A failed load, or a file that is no mesh, never hands back the mesh that
// was current before: the attachment checks would judge the wrong mesh.
TEST_F(MeshChecksTest, OnlyTheMeshLoadedByTheCallIsReturned)
{
    Serve("good.im", FakeMesh());
    Serve("broken.im", FakeMesh().Loads(false));
    ASSERT_NE(Load("good.im"), nullptr);
    EXPECT_EQ(Load("missing.im"), nullptr);
    EXPECT_EQ(Load("broken.im"), nullptr);
    EXPECT_EQ(Load("anim.kin"), nullptr);
    EXPECT_EQ(Load("readme.doc"), nullptr);
    EXPECT_NE(manager_->GetCurrentObject(), nullptr);
    EXPECT_EQ(Findings(), (Lines{Text(3, "$tet_mesh_load_mesh", "missing.im"),
                                 Text(3, "$tet_mesh_initialise_mesh", "broken.im"),
                                 Text(3, "$tet_mesh_animationfailedres", Path("anim.kin"))}));
}

// Without a container nobody is told, and there is nothing to load.
TEST_F(MeshChecksTest, NoResourceWithoutAContainerFailsSilently)
{
    TETLib::MeshData mesh(Nyx::PString(Path("none.im")), TETLib::ContainerSerial::kNone);
    EXPECT_FALSE(mesh.Load(Nyx::PString(Path("none.im")), TETLib::ContainerSerial::kNone));
    EXPECT_FALSE(mesh.IsLoaded());
    EXPECT_EQ(Load("none.im", false), nullptr);
    EXPECT_TRUE(Findings().empty());
}

TEST_F(MeshChecksTest, MeshesOutsideTheContentRootLoadNothing)
{
    Serve("x.im", FakeMesh());
    EXPECT_EQ(manager_->LoadMeshFile(Nyx::PString("../elsewhere/x.im"), &root_), nullptr);
    EXPECT_EQ(manager_->LoadMeshFile(Nyx::PString("/elsewhere/x.im"), &root_), nullptr);
    EXPECT_TRUE(fake_.lookups.empty());
    // An absolute path inside the root is taken there.
    EXPECT_NE(manager_->LoadMeshFile(Nyx::PString(folder_.Path() + "/" + Path("x.im")), &root_), nullptr);

    for (const char* value : {"/x.im", "../x.im", "a/../../x.im", ".."})
        EXPECT_TRUE(TETLib::LeavesFolder(Nyx::File::Path(value))) << value;
    for (const char* value : {"x.im", "a/../x.im", "a/b.im"})
        EXPECT_FALSE(TETLib::LeavesFolder(Nyx::File::Path(value))) << value;
}

TEST_F(MeshChecksTest, FailedMaterialsAndMissingTextureImages)
{
    folder_.Write(Path("skin.texture.txt"), "Format=x\r\nPrimary=Skin.TGA\r\nAlpha=y\r\n");
    folder_.Write(Path("skin.tga"), "image");
    folder_.Write(Path("gone.texture.txt"), "Primary=gone.tga\r\n");
    folder_.Write(Path("cut.texture.txt"), std::string(600, 'x') + "\nPrimary=also-gone.tga\n");
    Serve("body.im", FakeMesh().FailedMaterials({Path("m1.material"), Path("m2.material")})
                              .Textures({"skin.texture", "gone.texture", "cut.texture", "plain.tga",
                                           "absent.texture"}));
    TETLib::MeshData* mesh = Load("body.im");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(Findings(), (Lines{Text(3, "$tet_mesh_failedmaterial", "m1.material"),
                                 Text(3, "$tet_mesh_failedmaterial", "m2.material"),
                                 Text(3, "$tet_mesh_load_texture", "gone.texture.txt"),
                                 Text(3, "$tet_mesh_load_texture", "cut.texture.txt")}));
    ASSERT_EQ(mesh->GetTextureRecordCount(), 4u);
    EXPECT_EQ(mesh->GetTextureRecords()[0].image.Str(), "skin.tga");
    EXPECT_TRUE(mesh->GetTextureRecords()[0].imageFound);
}

TEST_F(MeshChecksTest, AnimationResults)
{
    folder_.Write(Path("walk.kin"), "");
    struct Case {
        FakeMesh mesh;
        const char* animation;
        const char* key;  // null: it attaches
    };
    const Case cases[] = {
        {FakeMesh(), "walk.kin", nullptr},
        {FakeMesh(), "Missing.kin", "$tet_mesh_animationfailedres"},
        {FakeMesh().Bones(0), "walk.kin", "$tet_mesh_animationfailedskeleton"},
        {FakeMesh().Animation(2), "walk.kin", "$tet_mesh_animationfailedskeleton"},
        {FakeMesh().Animation(3), "walk.kin", "$tet_mesh_animationfailedres"},
        {FakeMesh().Animation(4), "walk.kin", "$tet_mesh_animationfailedobserver"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.key ? c.key : "attached");
        TETLib::ErrorHandler::Instance()->Clear();
        Serve("body.im", c.mesh);
        TETLib::MeshData* mesh = Load("body.im");
        ASSERT_NE(mesh, nullptr);
        EXPECT_EQ(mesh->LoadAnimation(Nyx::PString(Path(c.animation))), c.key == nullptr);
        Lines expected;
        if (c.key)
            expected.push_back(Text(3, c.key, Nyx::PStringCache::ToLower(Nyx::PString(Path(c.animation))).Str()));
        EXPECT_EQ(Findings(), expected);
    }
    EXPECT_EQ(manager_->GetCurrentObject()->GetAnimator()->GetEntries().size(), 0u);

    // A mesh that never loaded has no animator.
    TETLib::ErrorHandler::Instance()->Clear();
    TETLib::MeshData unloaded(Nyx::PString(Path("x.im")), root_.Serial());
    EXPECT_FALSE(unloaded.LoadAnimation(Nyx::PString(Path("walk.kin"))));
    EXPECT_EQ(Findings(), Lines{Text(3, "$tet_mesh_animationfailedmesh", Path("walk.kin"))});
}

}  // namespace
