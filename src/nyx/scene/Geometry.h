// Drawable geometry of the scene: the matrix culling stored for it, and the
// triangle geometry that collision and picking code reads face by face.
#pragma once

#include <cstdint>

#include "nyx/scene/Camera.h"
#include "nyx/scene/math/Transform.h"

namespace Nyx {

class Display;
class Material;
class TriangleGeometry;
class ViewPoint;

class Geometry {
public:
    virtual ~Geometry() = default;

    // Keeps the transform the geometry is drawn with this frame.
    void StoreMatrix(const Transform& transform) noexcept
    {
        matrix_ = transform;
        stored_ = true;
    }
    const Transform& GetStoredMatrix() const noexcept { return matrix_; }
    bool HasStoredMatrix() const noexcept { return stored_; }

private:
    Transform matrix_;
    bool stored_ = false;
};

// One face of a triangle geometry.
struct FaceReference {
    TriangleGeometry* geometry = nullptr;
    uint32_t face = 0;
    uint32_t chunk = 0;
    bool operator==(const FaceReference&) const = default;
};

class TriangleGeometry : public Geometry {
public:
    virtual void DrawGeometry(Display& display, ViewPoint& view, const Transform& transform, bool light) = 0;
    // True when the geometry was not marked in the pass's frame.
    virtual bool IsNotInFrame(const ViewPoint& view) const = 0;
    virtual void GetGlobalBoundingSphere(Sphere& sphere) const = 0;
    Sphere GetGlobalBoundingSphere() const
    {
        Sphere s;
        GetGlobalBoundingSphere(s);
        return s;
    }
    // The face across edge 0, 1 or 2; false when there is none.
    virtual bool GetFaceNeighbor(const FaceReference& face, uint32_t edge, FaceReference& neighbour) = 0;
    virtual bool GetFaceNeighbor(const FaceReference& face, uint32_t edge, FaceReference& neighbour) const = 0;
    // The output is left as it is when the face has no corners.
    virtual void GetFaceCentre(const FaceReference& face, Vector3f& centre) const = 0;
    Vector3f GetFaceCentre(const FaceReference& face) const
    {
        Vector3f v;
        GetFaceCentre(face, v);
        return v;
    }
    virtual void GetFaceNormal(const FaceReference& face, Vector3f& normal) const = 0;
    Vector3f GetFaceNormal(const FaceReference& face) const
    {
        Vector3f v;
        GetFaceNormal(face, v);
        return v;
    }
    virtual void GetFaceCorner(const FaceReference& face, uint32_t corner, Vector3f& position) const = 0;
    Vector3f GetFaceCorner(const FaceReference& face, uint32_t corner) const
    {
        Vector3f v;
        GetFaceCorner(face, corner, v);
        return v;
    }
    virtual void GetFaceMaterial(const FaceReference& face, Material*& material) const = 0;
    Material* GetFaceMaterial(const FaceReference& face) const
    {
        Material* m = nullptr;
        GetFaceMaterial(face, m);
        return m;
    }
};

}  // namespace Nyx
