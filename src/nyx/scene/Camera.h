// A camera: where a view is seen from, and the software view frustum that
// culling tests bounding spheres against.
#pragma once

#include "nyx/scene/math/Plane.h"
#include "nyx/scene/math/Transform.h"

namespace Nyx {

struct Sphere {
    Vector3f centre;
    float radius = 0.0f;
};

class Camera {
public:
    // Looks along its local -z with +y up; the field of view is the full
    // vertical angle in radians, the aspect width over height.
    void SetFrame(const Vector3f& position, const Quaternion& orientation) noexcept;
    void SetProjection(float fieldOfView, float aspect, float nearDistance, float farDistance) noexcept;

    // The camera's placement in the scene (a copy for the caller).
    Transform GetViewTransform() const noexcept { return Transform::FromFrame(position_, orientation_); }
    // False when the sphere lies wholly outside one of the six planes.
    bool IsVisible(const Sphere& sphere) const noexcept;
    // Planes with normals pointing into the frustum: near, far, left,
    // right, bottom, top.
    const Plane& GetFrustumPlane(int i) const noexcept { return planes_[i]; }

private:
    void UpdatePlanes() noexcept;

    Vector3f position_;
    Quaternion orientation_;
    float fieldOfView_ = 1.0471976f;  // 60 degrees
    float aspect_ = 1.0f;
    float near_ = 0.1f;
    float far_ = 10000.0f;
    Plane planes_[6];
};

}  // namespace Nyx
