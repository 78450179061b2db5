// The display's render device. Nothing is drawn: buffers are plain memory,
// and the device counts what it was asked to create and upload, so tests
// can see what a chunk did. Tests may make it refuse either.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "nyx/base/ReferenceCount.h"
#include "nyx/gfx/display/ProgramManagers.h"
#include "nyx/gfx/textures/TextureArgs.h"
#include "nyx/gfx/chunks/VertexType.h"

namespace Nyx {

class RenderBuffer : public ReferenceCount {
public:
    enum Kind : uint32_t { kVertices = 0, kIndices = 1 };
    RenderBuffer(Kind kind, uint32_t vertexType, uint32_t count) : kind_(kind), vertexType_(vertexType), count_(count) {}

    Kind GetKind() const noexcept { return kind_; }
    uint32_t GetVertexType() const noexcept { return vertexType_; }
    uint32_t GetCount() const noexcept { return count_; }
    const std::vector<uint8_t>& GetContents() const noexcept { return contents_; }
    uint32_t GetUploadCount() const noexcept { return uploads_; }

private:
    friend class RenderDevice;
    Kind kind_;
    uint32_t vertexType_;
    uint32_t count_;
    std::vector<uint8_t> contents_;
    uint32_t uploads_ = 0;
};

// A prepared set of texture-stage states, applied to the display as one.
class TextureStageSetup : public ReferenceCount {
public:
    explicit TextureStageSetup(uint32_t number) noexcept : number_(number) {}
    // A set-up of one stage made from its colour and alpha records.
    TextureStageSetup(uint32_t number, const TextureArgs& colour, const TextureArgs& alpha) noexcept
        : number_(number), stage_(colour.stage), colour_(colour), alpha_(alpha), fromRecords_(true)
    {
    }
    uint32_t GetNumber() const noexcept { return number_; }
    uint32_t GetStage() const noexcept { return stage_; }
    bool IsFromRecords() const noexcept { return fromRecords_; }
    const TextureArgs& GetColourArgs() const noexcept { return colour_; }
    const TextureArgs& GetAlphaArgs() const noexcept { return alpha_; }

private:
    uint32_t number_;
    uint32_t stage_ = 0;
    TextureArgs colour_;
    TextureArgs alpha_;
    bool fromRecords_ = false;
};

class RenderDevice {
public:
    RenderDevice();
    ~RenderDevice();
    RenderDevice(const RenderDevice&) = delete;
    RenderDevice& operator=(const RenderDevice&) = delete;

    // A buffer with one reference for the caller; null when refused.
    RenderBuffer* CreateVertexBuffer(uint32_t vertexType, uint32_t vertexCount);
    RenderBuffer* CreateIndexBuffer(uint32_t indexCount);
    // Replaces the buffer's contents; false when refused.
    bool Upload(RenderBuffer& buffer, const void* data, uint32_t bytes);

    uint32_t GetCreateCount() const noexcept { return creates_; }
    uint32_t GetUploadCount() const noexcept { return uploads_; }
    void SetRefuseCreates(bool refuse) noexcept { refuseCreates_ = refuse; }
    void SetRefuseUploads(bool refuse) noexcept { refuseUploads_ = refuse; }

    // The program managers; null while a test takes them away.
    VertexProgramManager* GetVertexProgramManager() noexcept { return programsAvailable_ ? vertexPrograms_.get() : nullptr; }
    TextureCombinerManager* GetTextureCombinerManager() noexcept
    {
        return programsAvailable_ ? combiners_.get() : nullptr;
    }
    void SetProgramManagersAvailable(bool available) noexcept { programsAvailable_ = available; }

    // A stage set-up with one reference for the caller; null when refused.
    TextureStageSetup* CreateTextureStageSetup(uint32_t number);
    void ReleaseTextureStageSetup(TextureStageSetup* setup);
    // A set-up of the stage from its colour and alpha records, numbered in
    // creation order from kFirstRecordSetup; null when refused.
    TextureStageSetup* CreateTextureStageSetup(uint32_t stage, const TextureArgs& colour, const TextureArgs& alpha);
    static constexpr uint32_t kFirstRecordSetup = 100;
    uint32_t GetLiveStageSetupCount() const noexcept { return liveSetups_; }
    void SetRefuseStageSetups(bool refuse) noexcept { refuseSetups_ = refuse; }
    // Lets only the next `count` set-ups be made, then refuses; a negative
    // count lifts the limit.
    void SetStageSetupBudget(int32_t count) noexcept { setupBudget_ = count; }

    // Vertex types materials build at run time. A later registration of an
    // id replaces the earlier one; false for a type without items.
    bool RegisterVertexType(const VertexType& type);
    // The registered type of the id, else the engine's built-in one; null
    // when neither exists.
    const VertexType* FindVertexType(uint32_t id) const noexcept;
    uint32_t GetVertexTypeRegistrationCount() const noexcept { return vertexTypeRegistrations_; }

    // Non-zero when the device can keep a chunk's vertices in a buffer of
    // their own while another stream changes (the engine's capability byte).
    uint8_t GetStreamCapability() const noexcept { return streamCapability_; }
    void SetStreamCapability(uint8_t value) noexcept { streamCapability_ = value; }

private:
    std::unique_ptr<VertexProgramManager> vertexPrograms_;
    std::unique_ptr<TextureCombinerManager> combiners_;
    bool programsAvailable_ = true;
    uint32_t liveSetups_ = 0;
    bool refuseSetups_ = false;
    int32_t setupBudget_ = -1;
    uint32_t nextRecordSetup_ = kFirstRecordSetup;
    std::vector<std::unique_ptr<VertexType>> vertexTypes_;
    uint32_t vertexTypeRegistrations_ = 0;
    uint8_t streamCapability_ = 1;
    uint32_t creates_ = 0;
    uint32_t uploads_ = 0;
    bool refuseCreates_ = false;
    bool refuseUploads_ = false;
};

}  // namespace Nyx
