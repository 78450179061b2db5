#include "resources/mesh/indexed/MeshCollisionTree.h"

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "resources/mesh/indexed/CollisionGeometrySharingInterface.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

Overlapped::~Overlapped()
{
    if (!job)
        return;
    job->Cancel();
    if (OverlappedResourceSystem* system = OverlappedResourceSystem::Get())
        system->Finish(job.get());
}

MeshCollisionTree::MeshCollisionTree(const KestroIndexedMeshDefinition& definition) : definition_(definition) {}

MeshCollisionTree::~MeshCollisionTree()
{
    // The request goes first: its job may still point at the adapter.
    pending_.reset();
}

KSAxisBoxTree* MeshCollisionTree::Ensure()
{
    if (tree_)
        return tree_.get();
    if (!pending_)
        Request();
    if (pending_ && (!pending_->job || pending_->job->IsFinished()))
        pending_.reset();
    return tree_.get();
}

void MeshCollisionTree::Request()
{
    if (tree_ || pending_)
        return;
    OverlappedResourceSystem* system = OverlappedResourceSystem::Get();
    if (!system)
        return;
    pending_ = std::make_unique<Overlapped>();
    pending_->job = std::make_unique<OverlappedResourceCallback>(definition_.GetName(), &MeshCollisionTree::Work,
                                                                 &MeshCollisionTree::Complete, this);
    system->Queue(pending_->job.get());
}

void MeshCollisionTree::Work(void* self)
{
    auto* me = static_cast<MeshCollisionTree*>(self);
    if (!me->adapter_)
        me->adapter_ = std::make_unique<CollisionGeometrySharingInterface>(me->definition_);
    if (me->pending_)
        me->pending_->tree = BuildTree(me->definition_, *me->adapter_);
}

void MeshCollisionTree::Complete(void* self)
{
    auto* me = static_cast<MeshCollisionTree*>(self);
    if (me->pending_ && me->pending_->tree)
        me->tree_ = std::move(me->pending_->tree);
}

std::unique_ptr<KSAxisBoxTree> MeshCollisionTree::BuildTree(const KestroIndexedMeshDefinition& definition,
                                                            const CollisionGeometrySharingInterface& adapter)
{
    auto tree = std::make_unique<KSAxisBoxTree>(8);
    tree->BeginBuild(&adapter);
    for (uint32_t chunk = 0; chunk < definition.GetChunkCount(); ++chunk) {
        const Nyx::GeometryChunk* geometry = definition.GetChunk(chunk);
        if (!geometry || !geometry->GetIndexArray() || !geometry->GetVector3Array(Nyx::kItemPosition))
            continue;
        // Strips and fans share corners between faces: each face is read
        // by its kind's rule, not as three indices of its own.
        const uint32_t indices = geometry->GetIndexCount();
        uint32_t faces;
        switch (geometry->GetPrimitiveFlags() & 0x1F) {
        case 4:
            faces = indices / 3;
            break;
        case 8:
        case 16:
            faces = indices >= 3 ? indices - 2 : 0;
            break;
        default:
            faces = 0;
            break;
        }
        Nyx::Vector3f corners[3];
        for (uint32_t face = 0; face < faces; ++face)
            if (adapter.GetChunkTriangle(chunk, face, corners))
                tree->AddFace(corners[0], corners[1], corners[2], chunk, face);
    }
    if (!tree->Build())
        return nullptr;
    return tree;
}
