// The mesh checks over real mesh files: the asset's archive finds them, the
// resource types NyxGetPlugins enrolled make and load them, and the checks
// report what they find in the loaded meshes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/materials/MaterialManager.h"
#include "nyx/resource/ResourceDatabase.h"
#include "resources/lod/LodFileWriter.h"
#include "resources/mesh/MeshFileWriter.h"
#include "tetlib/TETLibTestSupport.h"
#include "tetlib/container/Container.h"
#include "tetlib/errors/MessageText.h"
#include "tetlib/mesh/MeshData.h"

namespace {

using Lines = std::vector<std::string>;

constexpr const char* kFolder = "local/asset";

class EngineMeshChecksTest : public tetlibtest::ValidationDataFixture {
protected:
    void SetUp() override
    {
        ValidationDataFixture::SetUp();
        SetContentRootPath(Nyx::File::Path(folder_.Path()));
        folder_.MakeFolder(kFolder);
        kernel_.GetMaterialManager().SetRenderContext(&display_);
        Nyx::ResourceDatabase::SetMaterialManager(&kernel_.GetMaterialManager());
        Manager();
        manager_ = &TETLib::DataManager::Instance();
        manager_->SetCurrentAssetFolder(Nyx::File::Path(kFolder), nullptr);
        manager_->assetBuild = 3.0f;
        root_.SetName(Nyx::PString("asset"));
        ChunkRef config;
        TDBContainerTag::SetString(config, Nyx::PString("kind"), Nyx::PString("scenery"));
        root_.SetConfig(config);
        TETLib::ErrorHandler::Instance()->Clear();
    }
    void TearDown() override
    {
        manager_->CollectGarbage();
        ValidationDataFixture::TearDown();
        Nyx::ResourceDatabase::SetMaterialManager(nullptr);
        SetContentRootPath(Nyx::File::Path());
    }

    void WriteFile(const std::string& file, const std::vector<uint8_t>& bytes)
    {
        folder_.Write(Path(file), std::string(bytes.begin(), bytes.end()));
    }
    TETLib::MeshData* Load(const std::string& file)
    {
        return manager_->LoadMeshFile(Nyx::PString(Path(file)), &root_);
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

    // A mesh of one strip of `quads` squares, two faces each, with the
    // attachment points given.
    static TestMesh StripMesh(uint32_t quads, const std::vector<std::string>& points = {},
                              const std::string& material = "body.m.onetex")
    {
        TestMesh mesh;
        mesh.chunks.push_back(QuadStripChunk(quads, material));
        if (!points.empty()) {
            TestAttachments attachments;
            for (const std::string& point : points)
                attachments.points.push_back({point});
            mesh.attachments = attachments;
        }
        return mesh;
    }
    // Levels of the given square counts, and attachment points.
    static TestLod Levels(const std::vector<uint32_t>& quads, const std::vector<std::string>& points = {})
    {
        TestLod lod;
        lod.materials.push_back(TestMaterial{});
        float cutOff = 100.0f;
        for (uint32_t q : quads) {
            TestLodMesh mesh;
            mesh.cutOff = cutOff;
            cutOff *= 2.0f;
            mesh.pieces.push_back(QuadPiece(q));
            lod.meshes.push_back(std::move(mesh));
        }
        if (!points.empty()) {
            TestAttachments attachments;
            for (const std::string& point : points)
                attachments.points.push_back({point});
            lod.attachments = attachments;
        }
        return lod;
    }

    Nyx::RenderKernel kernel_{nullptr, 1.0f};
    Nyx::Display display_;
    TETLib::DataManager* manager_ = nullptr;
    TETLib::Container root_;
};

TEST_F(EngineMeshChecksTest, AnIndexedMeshLoadsThroughItsResourceType)
{
    WriteFile("body.im", WriteMeshFile(StripMesh(2, {"a.light", "a.door"})));
    TETLib::MeshData* mesh = Load("body.im");
    ASSERT_NE(mesh, nullptr);
    EXPECT_EQ(Findings(), Lines{});
    EXPECT_TRUE(mesh->IsLoaded());
    ASSERT_NE(mesh->GetInstance(), nullptr);
    EXPECT_EQ(mesh->GetInstance()->GetPolygonCount(), 4u);
    std::vector<std::string> names;
    for (const auto& point : mesh->GetAttachmentPoints())
        names.push_back(point.name.Str());
    EXPECT_EQ(names, (std::vector<std::string>{"a.light", "a.door"}));
    EXPECT_TRUE(mesh->HoldsPoint(Nyx::PString("a.door")));
    std::array<float, 6> bounds{};
    EXPECT_TRUE(mesh->GetBounds(bounds));
}

TEST_F(EngineMeshChecksTest, LoadFailuresOfEachForm)
{
    struct Case {
        const char* file;
        std::string bytes;  // none: no file
        const char* key;
    };
    const Case cases[] = {
        {"gone.im", "", "$tet_mesh_load_mesh"},
        {"gone.lm", "", "$tet_mesh_load_mesh"},
        {"junk.im", "not a mesh at all", "$tet_mesh_initialise_mesh"},
        {"junk.lm", "not a mesh at all", "$tet_mesh_initialise_mesh"},
        {"junk.lm.txt", "version 1\noffset 2\n", "$tet_mesh_initialise_mesh"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.file);
        TETLib::ErrorHandler::Instance()->Clear();
        manager_->meshProblemReported = false;
        if (!c.bytes.empty())
            folder_.Write(Path(c.file), c.bytes);
        EXPECT_EQ(Load(c.file), nullptr);
        EXPECT_EQ(Findings(), Lines{Text(3, c.key, c.file)});
        EXPECT_TRUE(manager_->meshProblemReported);
    }
}

TEST_F(EngineMeshChecksTest, ThreeLODWarningsFromARealLODFile)
{
    struct Case {
        const char* name;
        TestLod lod;
        std::vector<const char*> keys;
    };
    const Case cases[] = {
        {"one low level, no points", Levels({10}),
         {"$tet_lm_performance_no_attachments", "$tet_lm_performance_single_lod", "$tet_lm_performance_low_poly"}},
        {"last level at 300 faces", Levels({400, 150}, {"a.x"}), {}},
        {"last level at 298 faces", Levels({400, 149}, {"a.x"}), {"$tet_lm_performance_low_poly"}},
        {"one level at 300 faces", Levels({150}, {"a.x"}), {"$tet_lm_performance_single_lod"}},
    };
    int n = 0;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TETLib::ErrorHandler::Instance()->Clear();
        const std::string file = "lod" + std::to_string(n++) + ".lm";
        WriteFile(file, WriteLodFile(c.lod));
        ASSERT_NE(Load(file), nullptr);
        Lines expected;
        for (const char* key : c.keys)
            expected.push_back(Text(2, key, Path(file)));
        EXPECT_EQ(Findings(), expected);
    }
}

TEST_F(EngineMeshChecksTest, ALODTextLoadsItsIndexedMeshes)
{
    WriteFile("near.im", WriteMeshFile(StripMesh(400, {"a.light"})));
    WriteFile("far.im", WriteMeshFile(StripMesh(100, {"a.light"})));
    folder_.Write(Path("car.lm.txt"), "version 1.00\nmesh 50 { name near.im }\nmesh 200 { name far.im }\n");
    TETLib::MeshData* mesh = Load("car.lm.txt");
    ASSERT_NE(mesh, nullptr);
    // Two levels and an attachment point, but the last level has 200 faces.
    EXPECT_EQ(Findings(), Lines{Text(2, "$tet_lm_performance_low_poly", Path("car.lm.txt"))});
    ASSERT_NE(mesh->GetInstance(), nullptr);
    EXPECT_EQ(mesh->GetInstance()->GetLODLevelCount(), 2u);
}

TEST_F(EngineMeshChecksTest, AProgressiveMeshIsFoundAndNotLoaded)
{
    WriteFile("old.pm", WriteMeshFile(StripMesh(1)));
    EXPECT_EQ(Load("old.pm"), nullptr);
    EXPECT_EQ(Findings(), Lines{"3 " + TETLib::MessageText(Nyx::PString("$tet_dm_unsupportedformat")).Str()});
}

TEST_F(EngineMeshChecksTest, MissingMaterialsAreReportedByPath)
{
    WriteFile("body.im", WriteMeshFile(StripMesh(1, {"a.x"}, "paint.m.nosuchtype")));
    ASSERT_NE(Load("body.im"), nullptr);
    EXPECT_EQ(Findings(), Lines{Text(3, "$tet_mesh_failedmaterial", "local*asset/*paint.m.nosuchtype")});
}

TEST_F(EngineMeshChecksTest, TexturesOfARealMeshAreLookedUpBesideIt)
{
    struct Case {
        const char* name;
        const char* folder;       // of the mesh, in the asset folder
        const char* texture;      // as the material names it
        const char* description;  // its text; none: no description
        bool imageThere;
        bool reported;
    };
    const Case cases[] = {
        {"image missing", "", "a.texture", "Primary=a.tga\n", false, true},
        {"image there", "", "b.texture", "Primary=b.tga\n", true, false},
        {"named with the description's ending", "", "c.texture.txt", "Primary=c.tga\n", false, true},
        {"no description, nothing to read", "", "d.texture", nullptr, false, false},
        {"mesh in a sub-folder", "parts/", "e.texture", "Primary=e.tga\n", false, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TETLib::ErrorHandler::Instance()->Clear();
        const std::string stem(1, c.texture[0]);
        const std::string folder = c.folder;
        // Materials of one name are shared: each case has its own.
        TestMesh mesh = StripMesh(1, {"a.x"}, stem + ".m.onetex");
        mesh.chunks[0].material.textures.push_back({0, c.texture, 1.0f});
        WriteFile(folder + stem + ".im", WriteMeshFile(mesh));
        if (c.description)
            folder_.Write(Path(folder + stem + ".texture.txt"), c.description);
        if (c.imageThere)
            folder_.Write(Path(folder + stem + ".tga"), "any bytes");
        TETLib::MeshData* loaded = Load(folder + stem + ".im");
        ASSERT_NE(loaded, nullptr);
        const std::string description = folder + stem + ".texture.txt";
        EXPECT_EQ(Findings(), c.reported ? Lines{Text(3, "$tet_mesh_load_texture", description)} : Lines{});
        ASSERT_EQ(loaded->GetTextureRecords().size(), 1u);
        EXPECT_EQ(loaded->GetTextureRecords()[0].texture.Str(), Path(description));
        EXPECT_EQ(loaded->GetTextureRecords()[0].imageFound, c.imageThere);
    }
}

}  // namespace
