// A mesh definition's triangle collision tree: built lazily, on request,
// by the background-resource system when one exists, and then kept for
// every later collision test of the mesh's instances.
#pragma once

#include <cstdint>
#include <memory>

#include "resources/collision/KSAxisBoxTree.h"
#include "resources/overlapped/OverlappedResourceSystem.h"

class CollisionGeometrySharingInterface;
class KestroIndexedMeshDefinition;

// One requested build: the tree the job built (null until then) and the
// job. Destroying it cancels the job and lets the system drop it.
struct Overlapped {
    std::unique_ptr<KSAxisBoxTree> tree;
    std::unique_ptr<OverlappedResourceCallback> job;

    Overlapped() = default;
    Overlapped(const Overlapped&) = delete;
    Overlapped& operator=(const Overlapped&) = delete;
    ~Overlapped();
};

class MeshCollisionTree {
public:
    explicit MeshCollisionTree(const KestroIndexedMeshDefinition& definition);
    MeshCollisionTree(const MeshCollisionTree&) = delete;
    MeshCollisionTree& operator=(const MeshCollisionTree&) = delete;
    ~MeshCollisionTree();

    // The tree; null while none is built. Asks for a build when none is
    // pending, and forgets a request whose job finished.
    KSAxisBoxTree* Ensure();
    // Queues a build with the background system, when there is one and
    // neither a tree nor a request exists.
    void Request();
    bool HasPendingRequest() const noexcept { return pending_ != nullptr; }

    // A tree over every triangle of the definition's chunks, each chunk
    // read by its primitive kind; null when no triangle could be added.
    // The adapter is attached to the tree and must outlive it.
    static std::unique_ptr<KSAxisBoxTree> BuildTree(const KestroIndexedMeshDefinition& definition,
                                                    const CollisionGeometrySharingInterface& adapter);

private:
    static void Work(void* self);
    static void Complete(void* self);

    const KestroIndexedMeshDefinition& definition_;
    std::unique_ptr<KSAxisBoxTree> tree_;
    std::unique_ptr<CollisionGeometrySharingInterface> adapter_;
    std::unique_ptr<Overlapped> pending_;
};
