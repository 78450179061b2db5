// The unit normal of a triangle with the mesh code's winding.
#pragma once

#include "core/geometry/Vector3.h"

// Writes (c - a) x (b - a), scaled to length 1, to n: the normal points to
// the side from which a, b, c run clockwise. A caller that wants the usual
// (Q - P) x (R - P) of a triangle P, Q, R passes Q, P, R. Collinear or
// coincident points give the zero vector; a cross product too short for its
// squared length to show in single precision is left as it is, unscaled.
void TriangleNormal(const Vector3& a, const Vector3& b, const Vector3& c, Vector3& n) noexcept;
