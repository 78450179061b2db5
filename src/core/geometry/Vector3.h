// Three single-precision floats: a point or a direction in mesh space.
#pragma once

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};
