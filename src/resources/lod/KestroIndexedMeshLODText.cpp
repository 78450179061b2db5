// Loading a LOD mesh from its ".lm.txt" form: the detail levels and named
// meshes it lists are loaded as indexed meshes (".im" or ".imtxt") and
// their pieces, materials, bones and attachment points gathered in.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "nyx/files/ConfigTree.h"
#include "nyx/files/File.h"
#include "nyx/RenderKernel.h"
#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/scene/ParticleBone.h"
#include "resources/lod/KestroIndexedMeshLODDefinition.h"
#include "resources/mesh/MeshOwner.h"

namespace {

// A "mesh" value made only of digits and full stops (or empty) is a cut-off.
bool IsNumber(std::string_view text)
{
    return text.find_first_not_of("1234567890.") == std::string_view::npos;
}

Nyx::ParticleBone* CopyBoneTree(const Nyx::ParticleBone& from)
{
    auto* bone = new Nyx::ParticleBone;
    bone->SetName(from.GetName());
    bone->SetReferenceFrame(from.GetPosition(), from.GetOrientation());
    bone->SetFramePosition(from.GetFramePosition());
    bone->SetFrameOrientation(from.GetFrameOrientation());
    if (const Nyx::ParticleVisibleBoundingBox* volume = from.GetBoundingVolume())
        bone->SetBoundingVolume(std::make_unique<Nyx::ParticleVisibleBoundingBox>(volume->GetBox()));
    // Bones below bones; a skeleton read from a file is no deeper than the
    // reader allows, so the copy's recursion is bounded too.
    for (const Nyx::Particle* child : from.GetChildren())
        if (const auto* childBone = dynamic_cast<const Nyx::ParticleBone*>(child))
            bone->Add(CopyBoneTree(*childBone));
    return bone;
}

float Diagonal(const Nyx::Vector3f& lo, const Nyx::Vector3f& hi) { return (hi - lo).Length(); }

}  // namespace

MeshLoadResult& KestroIndexedMeshLODDefinition::LoadFromText(MeshLoadResult& result, MeshOwner& owner,
                                                             const Nyx::String& name, Nyx::MaterialManager* manager,
                                                             Nyx::RenderKernel* kernel, uint32_t defaultColour)
{
    BeginLoad(result, kernel, manager, owner, defaultColour);
    const auto fail = [&](MeshLoadResult code) -> MeshLoadResult& {
        result = code;
        // Nothing half-loaded may stay for an instance to pick up.
        Discard();
        return result;
    };

    // 1, 2. The text and its version: 1.00 up to, not including, 1.01.
    Nyx::ConfigTree root;
    float version = 0.0f;
    if (Nyx::ConfigTree::Parse(owner.GetFileBase(), Nyx::File::Path(name), root, version) != 0)
        return fail(RES_FILE_OPEN_ERROR);
    const float hundredths = version * 100.0f;
    if (!(hundredths >= 100.0f && hundredths < 101.0f))
        return fail(RES_FILE_VERSION_ERROR);

    // 3.
    const uint32_t items = root.Count("mesh");
    if (items == 0)
        return fail(RES_FILE_FORMAT_ERROR);
    Discard();
    name_ = Nyx::PString(Nyx::File::Path(name).View());
    std::vector<Nyx::String> loaded;

    // 4. The detail levels, cut-offs strictly increasing.
    uint32_t n = 0;
    for (; n < items && IsNumber(root("mesh", n).Value().View()); ++n) {
        const Nyx::ConfigTree& item = root("mesh", n);
        float cutOff = 0.0f;
        item >> cutOff;
        if (!item("name").IsKnown())
            return fail(RES_FILE_FORMAT_ERROR);
        Nyx::String fileName;
        item("name") >> fileName;
        if ((n > 0 && !(cutOff > cutOffs_.back())) || cutOffs_.size() >= kMaxCutOffs)
            return fail(RES_FILE_FORMAT_ERROR);
        if (LoadReferencedMesh(result, owner, fileName, n == 0) != RES_OK)
            return fail(result);
        loaded.push_back(fileName);
        cutOffs_.push_back(cutOff);
    }
    // 5.
    if (cutOffs_.empty())
        return fail(RES_FILE_FORMAT_ERROR);

    // 6. The named meshes; a file loaded already is shared.
    for (; n < items; ++n) {
        const Nyx::ConfigTree& item = root("mesh", n);
        const Nyx::PString meshName(item.Value().View());
        if (IsNumber(meshName.View()) || FindNamedMesh(meshName) >= 0)
            return fail(RES_FILE_FORMAT_ERROR);
        bool animated = false;
        item("animated") >> animated;
        if (!item("name").IsKnown())
            return fail(RES_FILE_FORMAT_ERROR);
        Nyx::String fileName;
        item("name") >> fileName;
        uint32_t index = 0;
        const auto at = std::find(loaded.begin(), loaded.end(), fileName);
        if (at != loaded.end()) {
            index = static_cast<uint32_t>(at - loaded.begin());
        } else {
            if (LoadReferencedMesh(result, owner, fileName, false) != RES_OK)
                return fail(result);
            loaded.push_back(fileName);
            index = static_cast<uint32_t>(meshes_->size() - 1);
        }
        namedMeshes_->push_back({meshName, index, animated});
    }
    meshCount_ = static_cast<uint32_t>(meshes_->size());

    // 7. The resource's own name.
    name_ = Nyx::PString(owner.GetName().View());
    // 8.
    ReadLodParameters(root);
    // 9, then 8 of the post-load steps.
    UseLastLevelAsOwn();
    StripCullSuffixes();
    return result;
}

void KestroIndexedMeshLODDefinition::ReadLodParameters(const Nyx::ConfigTree& root)
{
    offset_ = 0.0f;
    multiplier_ = 1.0f;
    animationCutOff_ = 0.0f;
    renderCutOff_ = 0.0f;
    attachmentCutOff_ = 0.0f;
    calcPoint_ = kCalcCentre;
    root("offset") >> offset_;
    root("multiplier") >> multiplier_;
    root("animationCutOff") >> animationCutOff_;
    root("renderCutOff") >> renderCutOff_;
    root("attachmentCutOff") >> attachmentCutOff_;
    Nyx::String text;
    root("calcPoint") >> text;
    std::string lower(text.View());
    std::transform(lower.begin(), lower.end(), lower.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    if (lower == "near")
        calcPoint_ = kCalcNear;
    else if (lower == "far")
        calcPoint_ = kCalcFar;
}

MeshLoadResult& KestroIndexedMeshLODDefinition::LoadReferencedMesh(MeshLoadResult& result, MeshOwner& owner,
                                                                   const Nyx::String& fileName, bool first)
{
    // 1.
    auto temp = std::make_unique<KestroIndexedMeshDefinition>(settings_);
    // 2. The file lies beside the LOD text.
    Nyx::File::Path path(Nyx::File::Path(name_).Folder());
    path.AddPath(Nyx::File::Path(fileName).View());
    std::string extension(path.Extension());
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c); });
    MeshLoadResult loaded = RES_OK;
    if (extension == "imtxt") {
        temp->LoadText(loaded, kernel_, manager_, owner, Nyx::String(path.View()), defaultColour_);
    } else if (temp->OpenFile(loaded, owner, Nyx::String(path.View())) == RES_OK) {
        temp->Load(loaded, kernel_, manager_, owner, 0, defaultColour_);
    }
    if (loaded != RES_OK) {
        result = loaded;
        return result;
    }

    if (first) {
        // 3. The first level gives the frame, bounds, attachment points and
        // bones every later one must match.
        position_ = temp->GetPosition();
        orientation_ = temp->GetOrientation();
        boundsMax_ = temp->GetBoundsMax();
        boundsMin_ = temp->GetBoundsMin();
        box_ = temp->GetOrientedBox();
        attachments_ = temp->GetAttachments();
        attachmentCount_ = static_cast<uint32_t>(attachments_.size());
        delete rootBone_;
        rootBone_ = temp->GetRootBone() ? CopyBoneTree(*temp->GetRootBone()) : nullptr;
        boneTable_.clear();
        for (const Nyx::InfluenceDefinition& definition : temp->GetInfluences())
            boneTable_.push_back({Nyx::String(definition.boneName), Nyx::String(definition.parentName),
                                  definition.position, definition.orientation});
        boneCount_ = static_cast<uint32_t>(boneTable_.size());
    } else {
        // 4.
        if (temp->GetAttachmentCount() != attachmentCount_ || temp->GetInfluences().size() != boneCount_) {
            result = RES_FILE_FORMAT_ERROR;
            return result;
        }
        if (Diagonal(temp->GetBoundsMin(), temp->GetBoundsMax()) > Diagonal(boundsMin_, boundsMax_)) {
            boundsMin_ = temp->GetBoundsMin();
            boundsMax_ = temp->GetBoundsMax();
        }
    }

    // 5, 6. The new mesh with its bone influences.
    LodMesh mesh;
    if (!boneTable_.empty() && TakeInfluences(result, *temp, static_cast<uint32_t>(meshes_->size())) != RES_OK)
        return result;
    mesh.boneBlocks = std::move(pendingBlocks_);
    pendingBlocks_.clear();
    mesh.chunkCount = temp->GetChunkCount();
    mesh.vertexTotal = temp->GetTotalVertices();
    mesh.faceTotal = temp->GetTotalFaces();
    mesh.hardwareAnimation = temp->UsesHardwareAnimation();
    for (uint32_t i = 0; i < temp->GetChunkCount(); ++i) {
        mesh.chunkNames.push_back(temp->GetChunkName(i));
        mesh.chunks->Append(temp->GetChunk(i));
        mesh.materials->Append(temp->GetMaterial(i));
    }
    meshes_->push_back(std::move(mesh));
    // 7. Its pending textures go to its materials when the load finishes.
    keptDefinitions_.Append(temp.release());
    return result;
}

MeshLoadResult& KestroIndexedMeshLODDefinition::TakeInfluences(MeshLoadResult& result,
                                                               const KestroIndexedMeshDefinition& from,
                                                               uint32_t /*mesh*/)
{
    pendingBlocks_.clear();
    pendingBlocks_.reserve(boneTable_.size());
    const auto& definitions = from.GetInfluences();
    for (const LodBone& bone : boneTable_) {
        const auto at = std::find_if(definitions.begin(), definitions.end(),
                                     [&](const Nyx::InfluenceDefinition& d) { return d.boneName.View() == bone.name.View(); });
        // Every bone of the table must move something named in each mesh.
        if (at == definitions.end()) {
            pendingBlocks_.clear();
            result = RES_FILE_FORMAT_ERROR;
            return result;
        }
        pendingBlocks_.push_back(at->groups);
    }
    return result;
}
