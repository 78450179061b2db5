// The instance's faces: corners, centres, normals, neighbours and
// materials, and the collision test that reads them.
#include <cmath>

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/scene/math/Ray.h"
#include "nyx/scene/math/VectorOps.h"
#include "resources/collision/KSAxisBoxTree.h"
#include "resources/collision/TriangleTests.h"
#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"
#include "resources/mesh/indexed/KestroIndexedMeshInstance.h"
#include "resources/mesh/MeshInstanceResource.h"

using Nyx::Vector3f;

bool KestroIndexedMeshInstance::CornerIndexPosition(uint32_t kind, uint32_t face, uint32_t corner,
                                                    uint32_t& position) noexcept
{
    if (corner > 2)
        return false;
    switch (kind) {
    case 4:
        if (face > (UINT32_MAX - 2) / 3)
            return false;
        position = 3 * face + corner;
        return true;
    case 8:
        if (face > UINT32_MAX - 3)
            return false;
        // Odd faces of a strip run the other way: corners 1 and 2 swap.
        position = corner == 0 ? face : (face % 2 == 0 ? face + corner : face - corner + 3);
        return true;
    case 16:
        if (face > UINT32_MAX - 2)
            return false;
        position = corner == 0 ? 0 : face + corner;
        return true;
    default:
        return false;
    }
}

bool KestroIndexedMeshInstance::FaceCorner(const Nyx::GeometryChunk& chunk, uint32_t face, uint32_t corner,
                                           Vector3f& out) const
{
    uint32_t at = 0;
    if (!CornerIndexPosition(chunk.GetPrimitiveFlags() & 0x1F, face, corner, at))
        return false;
    const uint16_t* indices = chunk.GetIndexArray();
    const auto positions = chunk.GetVector3Array(Nyx::kItemPosition);
    if (!indices || !positions || at >= chunk.GetIndexCount() || indices[at] >= chunk.GetVertexCount())
        return false;
    const Nyx::Vector3Item& p = positions[indices[at]];
    out = {p.x, p.y, p.z};
    return true;
}

bool KestroIndexedMeshInstance::FaceCorners(const Nyx::FaceReference& face, Vector3f corners[3]) const
{
    const Nyx::GeometryChunk* chunk = face.chunk < chunkCount_ ? GetChunk(face.chunk) : nullptr;
    if (!chunk)
        return false;
    for (uint32_t c = 0; c < 3; ++c)
        if (!FaceCorner(*chunk, face.face, c, corners[c]))
            return false;
    return true;
}

void KestroIndexedMeshInstance::GetFaceCorner(const Nyx::FaceReference& face, uint32_t corner,
                                              Vector3f& position) const
{
    const Nyx::GeometryChunk* chunk = face.chunk < chunkCount_ ? GetChunk(face.chunk) : nullptr;
    Vector3f p;
    if (chunk && FaceCorner(*chunk, face.face, corner, p))
        position = p;
}

void KestroIndexedMeshInstance::GetFaceCentre(const Nyx::FaceReference& face, Vector3f& centre) const
{
    Vector3f c[3];
    if (FaceCorners(face, c))
        centre = (c[0] + c[1] + c[2]) * 0.33333334f;
}

void KestroIndexedMeshInstance::GetFaceNormal(const Nyx::FaceReference& face, Vector3f& normal) const
{
    const Nyx::GeometryChunk* chunk = face.chunk < chunkCount_ ? GetChunk(face.chunk) : nullptr;
    if (!chunk)
        return;
    if (const float* stored = chunk->GetFaceNormalArray()) {
        if (face.face < chunk->GetFaceCount())
            normal = {stored[3 * size_t{face.face}], stored[3 * size_t{face.face} + 1], stored[3 * size_t{face.face} + 2]};
        return;
    }
    Vector3f c[3];
    if (!FaceCorners(face, c))
        return;
    const Vector3f n = Nyx::Cross(c[0] - c[1], c[1] - c[2]);
    if (Nyx::Dot(n, n) <= 1e-9f) {
        normal = {1.0f, 0.0f, 0.0f};
        return;
    }
    normal = Nyx::Normalised(n);
}

bool KestroIndexedMeshInstance::GetFaceNeighbor(const Nyx::FaceReference& face, uint32_t edge,
                                                Nyx::FaceReference& neighbour) const
{
    const Nyx::GeometryChunk* chunk = face.chunk < chunkCount_ ? GetChunk(face.chunk) : nullptr;
    const Nyx::GeometryChunk::FaceNeighbors* records = chunk ? chunk->GetFaceNeighborArray() : nullptr;
    if (!records || edge > 2 || face.face >= chunk->GetFaceCount())
        return false;
    const uint32_t entry = records[face.face].face[edge];
    // An entry naming a chunk the instance does not have is no neighbour.
    if (entry == 0xFFFFFFFFu || (entry >> 16) >= chunkCount_)
        return false;
    neighbour = {const_cast<KestroIndexedMeshInstance*>(this), entry & 0xFFFF, entry >> 16};
    return true;
}

bool KestroIndexedMeshInstance::GetFaceNeighbor(const Nyx::FaceReference& face, uint32_t edge,
                                                Nyx::FaceReference& neighbour)
{
    return static_cast<const KestroIndexedMeshInstance*>(this)->GetFaceNeighbor(face, edge, neighbour);
}

void KestroIndexedMeshInstance::GetFaceMaterial(const Nyx::FaceReference& face, Nyx::Material*& material) const
{
    material = face.chunk < chunkCount_ ? GetMaterial(face.chunk) : nullptr;
}

bool KestroIndexedMeshInstance::TestCollisionGeometry(const Nyx::Ray& ray, float& nearest, Nyx::FaceReference& face)
{
    // Everything is tested in object space; `stretch` turns a distance
    // along the object-space ray into world units.
    Vector3f start = ray.GetPoint();
    Vector3f direction = ray.GetDirection();
    float stretch = 1.0f;
    if (scaled_) {
        if (scale_.x == 0.0f || scale_.y == 0.0f || scale_.z == 0.0f)
            return false;
        start = {start.x / scale_.x, start.y / scale_.y, start.z / scale_.z};
        direction = Nyx::Normalised({direction.x / scale_.x, direction.y / scale_.y, direction.z / scale_.z});
        stretch = Vector3f{direction.x * scale_.x, direction.y * scale_.y, direction.z * scale_.z}.Length();
    }
    if (!box_.TestCollision(Nyx::Ray(start, direction)))
        return false;
    if (!(stretch > 0.0f))
        return false;

    KestroIndexedMeshDefinition* definition = resource_ ? resource_->GetGeometryDefinition() : nullptr;
    if (const KSAxisBoxTree* tree = definition ? definition->EnsureCollisionTree() : nullptr) {
        KSAxisBoxTreeResult result;
        if (!tree->Query(start, start + direction * kCollisionReach, result))
            return false;
        const float distance = result.distance * kCollisionReach * stretch;
        if (!(distance < nearest))
            return false;
        nearest = distance;
        const auto reference = static_cast<uint32_t>(result.reference);
        face = {this, (reference & 0xFFFF) / 3, reference >> 16};
        return true;
    }

    const float given = nearest;
    float running = nearest / stretch;
    bool hit = false;
    Nyx::FaceReference best;
    for (uint32_t c = 0; c < chunkCount_; ++c) {
        const Nyx::GeometryChunk* chunk = GetChunk(c);
        if (!chunk)
            continue;
        const Nyx::Material* material = GetMaterial(c);
        const bool twoSided = material && (material->GetFlags() & kMaterialFlagTwoSided);
        // Each face by its kind's corner rule; kinds without one have none.
        for (uint32_t f = 0; f < chunk->GetPrimitiveCount(); ++f) {
            Vector3f corners[3];
            if (!FaceCorners({this, f, c}, corners))
                break;
            const float before = running;
            if (RayTriangleIntersect(corners[0], corners[1], corners[2], start, direction, twoSided, running) &&
                running < before) {
                hit = true;
                best = {this, f, c};
            }
        }
    }
    if (!hit)
        return false;
    const float distance = running * stretch;
    if (!(distance < given))
        return false;
    nearest = distance;
    face = best;
    return true;
}
