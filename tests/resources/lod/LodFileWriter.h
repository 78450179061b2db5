// Writes ".lm" files for the LOD tests, fuzz seeds and the bench, from a
// description that reuses the mesh writer's materials, geometry and
// attachment points. Counts and sizes follow the data unless a field
// overrides them, so a test can write a file that lies about itself.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "resources/mesh/MeshFileWriter.h"

struct TestLodNamed {
    uint32_t meshIndex = 0;
    std::string name;
    uint8_t animated = 0;
};

struct TestLodBone {
    std::string name;
    std::string parent;
    float position[3] = {0, 0, 0};
    float orientation[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
};

struct TestLodPiece {
    uint32_t materialIndex = 0;
    TestGeometry geometry;
    std::optional<std::vector<uint32_t>> neighbours;
};

struct TestLodMesh {
    float cutOff = 100.0f;
    uint32_t maxInfluences = 0;
    uint32_t maxChunkBones = 0;
    std::optional<uint32_t> chunkCount;
    // One block per bone: groups of (piece, entries).
    std::optional<std::vector<std::vector<TestInfluenceGroup>>> lodBones;
    std::vector<TestLodPiece> pieces;
};

struct TestLod {
    uint32_t infoVersion = 100;
    float position[3] = {0, 0, 0};
    float orientation[4] = {0, 0, 0, 1};
    std::optional<uint32_t> meshCount;
    uint32_t calcPoint = 0;
    float lod[5] = {0.0f, 1.0f, 0.0f, 0.0f, 0.0f};
    std::vector<TestLodNamed> named;
    uint32_t mattVersion = 100;
    std::optional<uint32_t> materialCount;
    std::vector<TestMaterial> materials;
    std::optional<std::vector<TestLodBone>> bont;
    std::optional<std::vector<TestLodBone>> rbot;
    std::optional<TestAttachments> attachments;
    std::vector<TestLodMesh> meshes;
};

// A GEOM of the LOD form: 20-byte vertices, a name from version 103, no
// texture-set count and no colours.
void WriteLodGeometry(meshfilewriter_detail::Out& out, const TestGeometry& g);

void WriteLodBoneRecords(meshfilewriter_detail::Out& out, const char* tag,
                         const std::vector<TestLodBone>& bones);

std::vector<uint8_t> WriteLodFile(const TestLod& lod);

// A piece of `quads` squares (two faces each) drawn with material `material`.
TestLodPiece QuadPiece(uint32_t quads, uint32_t material = 0);

// Levels of the given cut-offs, one piece of `quads` squares each, over one
// material.
TestLod LevelsLod(const std::vector<float>& cutOffs, uint32_t quads = 1);
