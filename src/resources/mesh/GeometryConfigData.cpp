#include "resources/mesh/GeometryConfigData.h"

#include <algorithm>
#include <cmath>

#include "config/tree/FloatArray.h"
#include "config/tree/TDBContainerTag.h"

namespace Nyx {

namespace {

std::vector<float> Floats(const ChunkRef& node, const char* name)
{
    FloatArray values;
    TDBContainerTag::GetFloatArray(node, PString(name), values);
    return std::vector<float>(values.Data(), values.Data() + values.Count());
}

// A list of exactly `count` values, or false (and `out` empty) when the
// list is there with another length.
bool FixedList(const ChunkRef& node, const char* name, size_t count, std::vector<float>& out)
{
    out = Floats(node, name);
    if (out.empty() || out.size() == count)
        return true;
    out.clear();
    return false;
}

bool ReadMatrix(const ChunkRef& node, const char* name, Matrix3& m)
{
    std::vector<float> values;
    const bool ok = FixedList(node, name, 9, values);
    if (values.size() == 9)
        std::copy(values.begin(), values.end(), &m.m[0][0]);
    return ok;
}

bool ReadVector(const ChunkRef& node, const char* name, Vector3f& v)
{
    std::vector<float> values;
    const bool ok = FixedList(node, name, 3, values);
    if (values.size() == 3)
        v = {values[0], values[1], values[2]};
    return ok;
}

// A count from a number that must be a whole one in range.
bool WholeNumber(float value, uint32_t limit, uint32_t& out)
{
    if (!(value >= 0.0f) || value > static_cast<float>(limit) || std::floor(value) != value)
        return false;
    out = static_cast<uint32_t>(value);
    return true;
}

uint8_t ColourByte(float c)
{
    const float scaled = c * 255.0f + 0.5f;
    return static_cast<uint8_t>(scaled >= 255.0f ? 255 : scaled > 0.0f ? scaled : 0);
}

// Children of a container in order, whatever their names.
template <typename F>
void ForEachChild(const ChunkRef& node, const char* name, F&& each)
{
    const ChunkRef list = TDBContainerTag::GetChildContainer(node, PString(name));
    if (!list)
        return;
    const uint32_t count = list->GetChildCount();
    for (uint32_t k = 0; k < count; ++k)
        if (ChunkRef child = TDBContainerTag::GetChildContainerAt(list, k))
            each(child);
}

}  // namespace

bool GeometryConfigData::LoadConfigData(const ChunkRef& root, bool influences, bool attachments, bool textures,
                                        const PString& /*name*/)
{
    chunks_.clear();
    influences_.clear();
    attachments_.clear();
    maxVertices_ = 0;
    orientation_ = Quaternion();
    if (!root)
        return false;
    bool ok = true;
    std::vector<float> turn;
    ok = FixedList(root, "orientation", 4, turn) && ok;
    if (turn.size() == 4) {
        orientation_ = {turn[0], turn[1], turn[2], turn[3]};
        orientation_.Normalise();
    }
    ForEachChild(root, "chunks", [&](const ChunkRef& node) {
        Chunk chunk;
        ok = ReadChunk(node, textures, chunk) && ok;
        maxVertices_ = std::max(maxVertices_, chunk.vertexCount);
        chunks_.push_back(std::move(chunk));
    });
    if (influences) {
        ForEachChild(root, "influences", [&](const ChunkRef& node) {
            InfluenceDefinition definition;
            ok = ReadInfluence(node, definition) && ok;
            influences_.push_back(std::move(definition));
        });
        // As in the binary form: a skeleton is linked by name in quadratic
        // time, so sets of 1024 or more are not taken.
        if (influences_.size() >= kMaxInfluences) {
            influences_.clear();
            ok = false;
        }
    }
    if (attachments) {
        ForEachChild(root, "attachments", [&](const ChunkRef& node) {
            Attachment point;
            point.name = TDBContainerTag::GetString(node, PString("name"));
            ok = ReadMatrix(node, "orientation", point.orientation) && ok;
            ok = ReadVector(node, "position", point.position) && ok;
            attachments_.push_back(std::move(point));
        });
    }
    return ok;
}

bool GeometryConfigData::ReadChunk(const ChunkRef& node, bool textures, Chunk& chunk)
{
    bool ok = true;
    chunk.name = TDBContainerTag::GetString(node, PString("name"));
    chunk.material = TDBContainerTag::GetString(node, PString("material"));
    chunk.flag = TDBContainerTag::GetInt(node, PString("flag"), 0) != 0;
    chunk.leadingFloat = TDBContainerTag::GetFloat(node, PString("float"), 1.0f);
    static const char* const kColours[4] = {"ambient", "diffuse", "specular", "emissive"};
    for (int c = 0; c < 4; ++c) {
        std::vector<float> rgba;
        ok = FixedList(node, kColours[c], 4, rgba) && ok;
        if (rgba.size() == 4)
            chunk.display.colour[c] = {rgba[0], rgba[1], rgba[2], rgba[3]};
    }
    chunk.display.power = TDBContainerTag::GetFloat(node, PString("power"), 0.0f);
    ForEachChild(node, "properties", [&](const ChunkRef& pair) {
        chunk.properties.emplace_back(String(TDBContainerTag::GetString(pair, PString("name"))),
                                      String(TDBContainerTag::GetString(pair, PString("value"))));
    });
    if (textures) {
        ForEachChild(node, "textures", [&](const ChunkRef& entry) {
            chunk.textures.push_back({static_cast<uint32_t>(TDBContainerTag::GetInt(entry, PString("kind"), 0)),
                                      String(TDBContainerTag::GetString(entry, PString("file"))),
                                      TDBContainerTag::GetFloat(entry, PString("value"), 0.0f)});
        });
    }
    const int32_t sets = TDBContainerTag::GetInt(node, PString("texcoordsets"), 1);
    const int32_t influences = TDBContainerTag::GetInt(node, PString("influences"), 0);
    if (sets < 0 || sets > 8 || influences < 0 || influences > 4)
        ok = false;
    chunk.texCoordSets = static_cast<uint32_t>(std::clamp(sets, 0, 8));
    chunk.influences = static_cast<uint32_t>(std::clamp(influences, 0, 4));

    chunk.positions = Floats(node, "positions");
    if (chunk.positions.size() % 3 != 0 || chunk.positions.size() / 3 > kMaxChunkVertices) {
        chunk.positions.clear();
        ok = false;
    }
    const uint32_t v = chunk.vertexCount = static_cast<uint32_t>(chunk.positions.size() / 3);
    for (uint32_t s = 0; s < chunk.texCoordSets; ++s) {
        const std::string key = "texcoords" + std::to_string(s);
        ok = FixedList(node, key.c_str(), size_t{v} * 2, chunk.texCoords[s]) && ok;
    }
    ok = FixedList(node, "normals", size_t{v} * 3, chunk.normals) && ok;
    std::vector<float> colours;
    ok = FixedList(node, "colours", size_t{v} * 4, colours) && ok;
    for (size_t k = 0; k + 3 < colours.size(); k += 4)
        chunk.colours.push_back(uint32_t{ColourByte(colours[k])} | uint32_t{ColourByte(colours[k + 1])} << 8 |
                                uint32_t{ColourByte(colours[k + 2])} << 16 | uint32_t{ColourByte(colours[k + 3])} << 24);
    const std::vector<float> indices = Floats(node, "indices");
    for (float index : indices) {
        uint32_t k = 0;
        if (!WholeNumber(index, v == 0 ? 0 : v - 1, k) || v == 0) {
            chunk.indices.clear();
            ok = false;
            break;
        }
        chunk.indices.push_back(static_cast<uint16_t>(k));
    }
    chunk.faceNormals = Floats(node, "facenormals");
    if (chunk.faceNormals.size() % 3 != 0) {
        chunk.faceNormals.clear();
        ok = false;
    }
    return ok;
}

bool GeometryConfigData::ReadInfluence(const ChunkRef& node, InfluenceDefinition& definition)
{
    bool ok = true;
    definition.boneName = TDBContainerTag::GetString(node, PString("bone"));
    definition.parentName = TDBContainerTag::GetString(node, PString("parent"));
    ok = ReadVector(node, "position", definition.position) && ok;
    ok = ReadMatrix(node, "orientation", definition.orientation) && ok;
    ForEachChild(node, "groups", [&](const ChunkRef& groupNode) {
        InfluenceGroup group;
        const int32_t chunk = TDBContainerTag::GetInt(groupNode, PString("chunk"), -1);
        const std::vector<float> values = Floats(groupNode, "entries");
        if (chunk < 0 || values.size() % 5 != 0) {
            ok = false;
            return;
        }
        group.chunkIndex = static_cast<uint32_t>(chunk);
        for (size_t k = 0; k < values.size(); k += 5) {
            InfluenceEntry entry;
            if (!WholeNumber(values[k], kMaxChunkVertices - 1, entry.vertex)) {
                ok = false;
                continue;
            }
            std::copy(values.begin() + k + 1, values.begin() + k + 5, entry.values);
            group.entries.push_back(entry);
        }
        definition.groups.push_back(std::move(group));
    });
    return ok;
}

bool GeometryConfigData::FillPositions(uint32_t i, ItemArray<Vector3Item> out) const
{
    if (!Valid(i) || !out || chunks_[i].positions.empty())
        return false;
    const std::vector<float>& p = chunks_[i].positions;
    for (uint32_t v = 0; v < chunks_[i].vertexCount; ++v)
        out[v] = {p[3 * v], p[3 * v + 1], p[3 * v + 2]};
    return true;
}

bool GeometryConfigData::FillTexCoords(uint32_t i, uint32_t set, ItemArray<Vector2Item> out) const
{
    if (!Valid(i) || set >= 8 || !out || chunks_[i].texCoords[set].empty())
        return false;
    const std::vector<float>& t = chunks_[i].texCoords[set];
    for (uint32_t v = 0; v < chunks_[i].vertexCount; ++v)
        out[v] = {t[2 * v], t[2 * v + 1]};
    return true;
}

bool GeometryConfigData::FillIndices(uint32_t i, uint16_t* out) const
{
    if (!Valid(i) || !out || chunks_[i].indices.empty())
        return false;
    std::copy(chunks_[i].indices.begin(), chunks_[i].indices.end(), out);
    return true;
}

bool GeometryConfigData::FillNormals(uint32_t i, ItemArray<Vector3Item> out) const
{
    if (!Valid(i) || !out || chunks_[i].normals.empty())
        return false;
    const std::vector<float>& n = chunks_[i].normals;
    for (uint32_t v = 0; v < chunks_[i].vertexCount; ++v)
        out[v] = {n[3 * v], n[3 * v + 1], n[3 * v + 2]};
    return true;
}

bool GeometryConfigData::FillColours(uint32_t i, ItemArray<uint32_t> out, bool primary, uint32_t fallback) const
{
    if (!Valid(i) || !out)
        return false;
    const std::vector<uint32_t>& c = chunks_[i].colours;
    for (uint32_t v = 0; v < chunks_[i].vertexCount; ++v)
        out[v] = primary && v < c.size() ? c[v] : fallback;
    return true;
}

bool GeometryConfigData::FillFaceNormals(uint32_t i, float* out) const
{
    if (!Valid(i) || !out || chunks_[i].faceNormals.empty())
        return false;
    std::copy(chunks_[i].faceNormals.begin(), chunks_[i].faceNormals.end(), out);
    return true;
}

}  // namespace Nyx
