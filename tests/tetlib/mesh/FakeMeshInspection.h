// A mesh inspection that serves the meshes a test describes, by resource
// name (the mesh's path below the content root, lower-cased). Installed
// while it lives.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tetlib/mesh/MeshInspection.h"

namespace tetlibtest {

struct FakeMesh {
    TETLib::MeshResourceKind kind = TETLib::MeshResourceKind::kGeometry;
    bool loads = true;
    bool instantiates = true;
    std::vector<std::string> attachments;
    std::vector<std::string> particles;
    std::vector<std::string> failedMaterials;
    std::vector<std::string> textures;
    uint32_t attached = 0;
    std::vector<uint32_t> levelPolygons{2000, 800};  // polygons of each level of detail
    uint32_t bones = 1;
    std::optional<int32_t> animationResult;  // else the animator answers

    FakeMesh& Kind(TETLib::MeshResourceKind k) { kind = k; return *this; }
    FakeMesh& Loads(bool b) { loads = b; return *this; }
    FakeMesh& Points(std::vector<std::string> v) { attachments = std::move(v); return *this; }
    FakeMesh& Particles(std::vector<std::string> v) { particles = std::move(v); return *this; }
    FakeMesh& FailedMaterials(std::vector<std::string> v) { failedMaterials = std::move(v); return *this; }
    FakeMesh& Textures(std::vector<std::string> v) { textures = std::move(v); return *this; }
    FakeMesh& Attached(uint32_t n) { attached = n; return *this; }
    FakeMesh& Levels(std::vector<uint32_t> v) { levelPolygons = std::move(v); return *this; }
    FakeMesh& Bones(uint32_t n) { bones = n; return *this; }
    FakeMesh& Animation(int32_t result) { animationResult = result; return *this; }
};

class FakeMeshInstance : public TETLib::MeshInstanceView {
public:
    explicit FakeMeshInstance(const FakeMesh& mesh) : mesh_(mesh) {}

    uint32_t GetAttachmentCount() const override { return static_cast<uint32_t>(mesh_.attachments.size()); }
    uint32_t GetAttachedCount() const override { return mesh_.attached; }
    uint32_t GetLODLevelCount() const override { return static_cast<uint32_t>(mesh_.levelPolygons.size()); }
    void SelectLODLevel(uint32_t level) override { level_ = level; }
    uint32_t GetPolygonCount() const override
    {
        return level_ < mesh_.levelPolygons.size() ? mesh_.levelPolygons[level_] : 0;
    }
    bool GetBounds(std::array<float, 6>&) const override { return false; }
    uint64_t GetInstanceData() const override { return 7; }
    int32_t AddAnimation(Nyx::Animator& animator, const Nyx::PString& name) override
    {
        return mesh_.animationResult ? *mesh_.animationResult : MeshInstanceView::AddAnimation(animator, name);
    }

private:
    FakeMesh mesh_;
    uint32_t level_ = 0;
};

class FakeMeshResource : public TETLib::MeshResourceView {
public:
    explicit FakeMeshResource(const FakeMesh& mesh) : mesh_(mesh) {}

    TETLib::MeshResourceKind GetKind() const override { return mesh_.kind; }
    bool Load() override { return mesh_.loads; }
    std::unique_ptr<TETLib::MeshInstanceView> CreateInstance(bool) override
    {
        return mesh_.instantiates ? std::make_unique<FakeMeshInstance>(mesh_) : nullptr;
    }
    std::vector<TETLib::AttachmentPoint> GetAttachmentPoints() const override
    {
        std::vector<TETLib::AttachmentPoint> points;
        for (const std::string& name : mesh_.attachments)
            points.push_back({{}, Nyx::PString(name)});
        return points;
    }
    std::vector<TETLib::ChildParticle> GetParticles() const override
    {
        std::vector<TETLib::ChildParticle> particles;
        for (const std::string& name : mesh_.particles)
            particles.push_back({Nyx::PString(name), {}});
        return particles;
    }
    std::vector<Nyx::PString> GetFailedMaterials() const override { return Texts(mesh_.failedMaterials); }
    std::vector<Nyx::PString> GetTextureNames() const override { return Texts(mesh_.textures); }
    uint32_t GetBoneCount() const override { return mesh_.bones; }

private:
    static std::vector<Nyx::PString> Texts(const std::vector<std::string>& texts)
    {
        std::vector<Nyx::PString> out;
        for (const std::string& text : texts)
            out.emplace_back(text);
        return out;
    }

    FakeMesh mesh_;
};

class FakeMeshInspection : public TETLib::MeshInspection {
public:
    FakeMeshInspection() { Install(this); }
    ~FakeMeshInspection() override { Install(nullptr); }

    std::unique_ptr<TETLib::MeshResourceView> Find(KestroResourceDatabase*, const Nyx::PString& name) override
    {
        lookups.emplace_back(name.View());
        auto it = meshes.find(std::string(name.View()));
        return it == meshes.end() ? nullptr : std::make_unique<FakeMeshResource>(it->second);
    }

    std::map<std::string, FakeMesh> meshes;
    std::vector<std::string> lookups;
};

}  // namespace tetlibtest
