// How a material is asked to make a geometry chunk: buffer modes, the
// texture-coordinate sets and, for skinned chunks, how they are deformed.
#pragma once

#include <cstdint>

namespace Nyx {

struct StandardChunkHint {
    enum Flag : uint32_t {
        kSoftwareLighting = 1u << 0,
        kSkinned = 1u << 1,
        kSoftwareSkinning = 1u << 2,
        kFloatWeights = 1u << 3,
        // Per-vertex extra vectors (item 27) come with the data.
        kExtraVectors = 1u << 4,
    };
    // Buffer modes: 0 static, 1 dynamic, 2 the engine's choice.
    static constexpr uint32_t kBufferAuto = 2;

    StandardChunkHint(uint32_t version, uint32_t initialFlags) noexcept : version(version), flags(initialFlags) {}

    uint32_t version;
    uint32_t flags;
    uint32_t vertexBufferMode = kBufferAuto;
    uint32_t indexBufferMode = kBufferAuto;
    uint32_t texCoordSets = 1;
    uint32_t materialValue = 0;
    float hintValue = 0.0f;
    // Hardware skinning: weights per vertex and bones one draw can use.
    uint32_t skinWeights = 0;
    uint32_t skinPalette = 0;
    // Influences per vertex of the chunk's mesh data, which the float weight
    // stream is sized by.
    uint32_t influences = 0;
    // Which vertex items the chunk should carry, valid when bit 0 of
    // `validity` is set: bit 0 separate normals, bits 1 and 2 the material's
    // own use.
    uint32_t validity = 0;
    uint8_t items = 0;
    // What the caller writes whole, for every vertex and index, before
    // anything reads it: vertex items by bit (1 << item), the indices and
    // the face normals. A chunk may leave these as allocated rather than
    // zero them; everything else it zeroes.
    uint32_t overwrittenItems = 0;
    bool overwritesIndices = false;
    bool overwritesFaceNormals = false;

    static constexpr uint32_t ItemBit(uint32_t item) noexcept { return item < 32 ? 1u << item : 0u; }
};

}  // namespace Nyx
