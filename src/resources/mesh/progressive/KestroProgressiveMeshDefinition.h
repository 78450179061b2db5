// The shared, loaded form of a progressive mesh (".pm"): an indexed mesh
// whose file also carries the PMIN tables of vertex splits that its
// instances undo and redo to change their detail. Sets own groups, groups
// own records and records own values, each a run of the next table that
// starts where the previous entry's run ended.
#pragma once

#include <cstdint>
#include <vector>

#include "resources/mesh/indexed/KestroIndexedMeshDefinition.h"

// One vertex split: the vertices, faces and index change it brings, and the
// run of table A (positions in the chunk's index array) it edits.
struct ProgressiveRecord {
    uint32_t vertexDelta = 0;
    uint32_t faceDelta = 0;
    uint32_t indexDelta = 0;
    uint32_t valuesUsed = 0;
    uint32_t firstValue = 0;
};

// The records of one set that touch one chunk.
struct ProgressiveGroup {
    uint32_t chunkIndex = 0;
    uint32_t recordsUsed = 0;
    uint32_t firstRecord = 0;
};

// One detail step.
struct ProgressiveSet {
    uint32_t groupsUsed = 0;
    uint32_t firstGroup = 0;
};

class KestroProgressiveMeshDefinition : public KestroIndexedMeshDefinition {
public:
    static constexpr uint32_t kProgressiveVersion = 101;

    explicit KestroProgressiveMeshDefinition(const GeometrySettings& settings = {});
    ~KestroProgressiveMeshDefinition() override;

    // Opens the file by path through the owner's file system and loads it.
    MeshLoadResult& Load(MeshLoadResult& result, Nyx::RenderKernel* kernel, Nyx::MaterialManager* manager,
                         MeshOwner& owner, const Nyx::String& path);
    // The same load over bytes given with SetFileData (or a file opened
    // before); the colour and owner value are the indexed load's and unused.
    MeshLoadResult& Load(MeshLoadResult& result, Nyx::RenderKernel* kernel, Nyx::MaterialManager* manager,
                         MeshOwner& owner, uint32_t ownerValue, uint32_t defaultColour = kOpaqueWhite) override;

    // Reads one PMIN chunk at the cursor. Tables whose counts do not fit
    // the data, runs that leave their tables, positions past their chunk's
    // indices or groups of missing chunks give RES_FILE_FORMAT_ERROR and
    // leave the tables empty and the cursor back at the tag.
    virtual MeshLoadResult& ReadProgressiveInfo(MeshLoadResult& result, Nyx::MemoryFile& file);

    const std::vector<uint32_t>& GetValues() const noexcept { return values_; }
    const std::vector<ProgressiveGroup>& GetGroups() const noexcept { return groups_; }
    const std::vector<ProgressiveRecord>& GetRecords() const noexcept { return records_; }
    const std::vector<ProgressiveSet>& GetSets() const noexcept { return sets_; }
    uint32_t GetValueCount() const noexcept { return valueCount_; }
    uint32_t GetRecordCount() const noexcept { return recordCount_; }
    uint32_t GetGroupCount() const noexcept { return groupCount_; }
    uint32_t GetSetCount() const noexcept { return setCount_; }
    uint32_t GetFullFaceCount() const noexcept { return fullFaceCount_; }
    // The faces set s adds, summed over its records when loaded.
    uint64_t GetSetFaceCount(uint32_t s) const noexcept { return s < setFaces_.size() ? setFaces_[s] : 0; }

private:
    MeshLoadResult& LoadOpenFile(MeshLoadResult& result);
    // Whether the linked runs stay inside their tables and name what the
    // mesh has; sums the sets' faces on the way.
    bool ProgressiveTablesFit();
    void ClearProgressiveTables() noexcept;

    std::vector<uint32_t> values_;
    std::vector<ProgressiveGroup> groups_;
    std::vector<ProgressiveRecord> records_;
    std::vector<ProgressiveSet> sets_;
    std::vector<uint64_t> setFaces_;
    uint32_t valueCount_ = 0;
    uint32_t recordCount_ = 0;
    uint32_t groupCount_ = 0;
    uint32_t setCount_ = 0;
    uint32_t fullFaceCount_ = 0;
};
