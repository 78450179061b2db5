#include "nyx/scene/Camera.h"

#include <cmath>

#include "nyx/scene/math/VectorOps.h"

namespace Nyx {

void Camera::SetFrame(const Vector3f& position, const Quaternion& orientation) noexcept
{
    position_ = position;
    orientation_ = orientation;
    UpdatePlanes();
}

void Camera::SetProjection(float fieldOfView, float aspect, float nearDistance, float farDistance) noexcept
{
    fieldOfView_ = fieldOfView;
    aspect_ = aspect;
    near_ = nearDistance;
    far_ = farDistance;
    UpdatePlanes();
}

void Camera::UpdatePlanes() noexcept
{
    const Vector3f forward = orientation_.Rotate({0, 0, -1});
    const Vector3f up = orientation_.Rotate({0, 1, 0});
    const Vector3f right = orientation_.Rotate({1, 0, 0});
    const float tanY = std::tan(fieldOfView_ * 0.5f);
    const float tanX = tanY * aspect_;
    auto set = [this](int i, const Vector3f& normal) {
        const Vector3f n = Normalised(normal);
        planes_[i].Set(n, Dot(n, position_));
    };
    planes_[0].Set(forward, Dot(forward, position_) + near_);
    planes_[1].Set(forward * -1.0f, -(Dot(forward, position_) + far_));
    set(2, forward * tanX + right);           // left: inside is to the right of it
    set(3, forward * tanX - right);           // right
    set(4, forward * tanY + up);              // bottom
    set(5, forward * tanY - up);              // top
}

bool Camera::IsVisible(const Sphere& sphere) const noexcept
{
    for (const Plane& plane : planes_)
        if (plane.SignedDistance(sphere.centre) < -sphere.radius)
            return false;
    return true;
}

}  // namespace Nyx
