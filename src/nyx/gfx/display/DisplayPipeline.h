// The drawing state materials set around their draws on the headless
// display: blending, fog, culling, alpha test, depth writes, colour
// material, the world transform, the global ambient colour, each texture
// stage (texture, matrix, constant colour, environment map), applied stage
// set-ups and the enabled combiner. Every change is an event; every draw
// with programs is a snapshot of this state with the bound programs'
// constants and registers.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "nyx/gfx/display/DisplayRecording.h"
#include "nyx/gfx/materials/Material.h"
#include "nyx/gfx/display/Matrix4.h"
#include "nyx/gfx/display/TextureCombiner.h"
#include "nyx/gfx/display/VertexProgram.h"

namespace Nyx {

class Texture;
class TextureStageSetup;

struct StageState {
    const Texture* texture = nullptr;
    bool environmentMap = false;
    bool matrixSet = false;
    Matrix4 matrix;
    DisplayColour constant;
    uint32_t setup = 0;  // number + 1 of the set-up applied to it, 0 for none
    // Texture-coordinate generation: mode 0 takes the vertex's coordinates;
    // the source says who generates them otherwise (2: nobody).
    uint32_t texGenMode = 0;
    uint32_t texGenSource = 2;
    bool operator==(const StageState&) const = default;
};

struct PipelineState {
    static constexpr uint32_t kStageCount = 4;

    bool blend = false;
    int32_t sourceBlend = 2;       // the engine's "one"
    int32_t destinationBlend = 1;  // the engine's "zero"
    int32_t fogMode = 0;
    int32_t cullMode = 1;
    bool alphaTest = false;
    float alphaReference = 0.0f;
    bool depthWrite = true;
    bool colourMaterial = false;
    int32_t colourMaterialMode = 0;
    Matrix4 world;
    DisplayColour globalAmbient{0.0f, 0.0f, 0.0f, 1.0f};
    std::array<StageState, kStageCount> stages{};
    const TextureCombiner* combiner = nullptr;
    bool operator==(const PipelineState&) const = default;
};

// A primitive range drawn instead of the whole chunk.
struct PrimitiveRange {
    uint32_t count = 0;
    const uint16_t* indices = nullptr;
    uint32_t indexCount = 0;
    uint32_t primitiveType = 0;
};

// The lighting a material set for its next draws: its colours, the
// lights and the scale. It is per draw and never restored, so it is kept
// apart from the pipeline state.
struct DrawLighting {
    bool set = false;
    DisplayMaterial material;
    uint32_t lightCount = 0;
    float scale = 1.0f;
    uint32_t program = 0;
    bool operator==(const DrawLighting&) const = default;
};

struct PipelineDraw {
    const GeometryChunk* chunk = nullptr;
    bool ranged = false;
    uint32_t primitiveCount = 0;
    PipelineState state;
    DrawLighting lighting;
    // The primitives of a ranged draw, as the range gave them.
    std::vector<uint16_t> rangeIndices;
    uint32_t rangePrimitiveType = 0;
    std::string vertexProgram;
    std::map<uint32_t, VertexProgram::Constant> localConstants;
    std::string combiner;
    TextureCombiner::Registers registers{};
};

class DisplayPipeline : public DisplayRecording {
public:
    // Capabilities this display answers by default: the two the bump
    // materials ask for.
    static constexpr uint32_t kCapabilityBumpCombiners = 17;
    static constexpr uint32_t kCapabilityVertexPrograms = 21;
    // Stage set-ups that blend with a stage constant colour, which the
    // gloss-rust material asks for; also on by default.
    static constexpr uint32_t kCapabilityStageConstants = 1;

    void SetAlphaBlendMode(bool on);
    bool GetAlphaBlendMode() const noexcept { return pipeline_.blend; }
    void SetAlphaBlendFunction(int32_t source, int32_t destination);
    int32_t GetSourceBlend() const noexcept { return pipeline_.sourceBlend; }
    int32_t GetDestinationBlend() const noexcept { return pipeline_.destinationBlend; }
    void SetCullMode(int32_t mode);
    int32_t GetCullMode() const noexcept { return pipeline_.cullMode; }
    void SetAlphaTest(bool on, float reference);
    // The alpha test on or off, its reference kept.
    void SetAlphaTestMode(bool on);
    bool GetAlphaTestMode() const noexcept { return pipeline_.alphaTest; }
    void SetDepthWriteMode(bool on);
    bool GetDepthWriteMode() const noexcept { return pipeline_.depthWrite; }
    void SetColourMaterial(bool on);
    // Which material colours the vertex colour stands for (0: none).
    void SetColorMaterialMode(int32_t mode);
    void SetWorldTransform(const Matrix4& world);
    const Matrix4& GetWorldTransform() const noexcept { return pipeline_.world; }
    void SetGlobalAmbient(const DisplayColour& colour);
    const DisplayColour& GetGlobalAmbient() const noexcept { return pipeline_.globalAmbient; }

    // Stages past the last are ignored.
    void SetStageTexture(uint32_t stage, const Texture* texture);
    void ClearStageTexture(uint32_t stage) { SetStageTexture(stage, nullptr); }
    void SetStageTextureMatrix(uint32_t stage, const Matrix4& matrix);
    void SetStageConstantColour(uint32_t stage, const DisplayColour& colour);
    // Puts the display's own environment map on the stage.
    void SetEnvironmentMap(uint32_t stage);
    void ApplyStageSetup(const TextureStageSetup& setup, uint32_t stage = 0);
    // A set-up made from stage records goes to its own stage.
    void ApplyTextureStageSetup(const TextureStageSetup& setup);
    void SetTextureCoordGen(uint32_t stage, uint32_t mode, uint32_t source);
    // Back to the identity texture matrix of the stage.
    void RestoreStageTextureTransform(uint32_t stage);
    // Loads a matrix for the next matrix operation (kept as an event).
    void LoadMatrix(const Matrix4& matrix);
    // The lighting a material draws its next chunk with.
    void SetMaterialLighting(const DisplayMaterial& material, uint32_t lightCount, float scale, uint32_t program);
    // Back to the stage's defaults: no texture, matrix, colour or set-up.
    void ResetStage(uint32_t stage);
    // The stages the display offers: all kept ones unless a test says
    // fewer.
    uint32_t GetStageCount() const noexcept { return stageCount_; }
    void SetStageCount(uint32_t count) noexcept
    {
        stageCount_ = count < PipelineState::kStageCount ? count : PipelineState::kStageCount;
    }

    void EnableCombiner(const TextureCombiner* combiner);
    // Disables the combiner when it is the enabled one.
    void DisableCombiner(const TextureCombiner* combiner);

    bool QueryCapability(uint32_t capability) const noexcept
    {
        return capability < 64 && (capabilities_ >> capability & 1u);
    }
    void SetCapability(uint32_t capability, bool on) noexcept
    {
        if (capability < 64)
            capabilities_ = on ? capabilities_ | uint64_t{1} << capability : capabilities_ & ~(uint64_t{1} << capability);
    }

    // A draw of the chunk (or a range of it) with the vertex program and
    // whatever combiner is enabled.
    void DrawWithProgram(const GeometryChunk& chunk, const VertexProgram* program, const PrimitiveRange* range);

    const PipelineState& GetPipelineState() const noexcept { return pipeline_; }
    const std::vector<PipelineDraw>& GetPipelineDraws() const noexcept { return pipelineDraws_; }
    void ClearPipelineDraws() { pipelineDraws_.clear(); }

protected:
    PipelineState& Pipeline() noexcept { return pipeline_; }

private:
    PipelineState pipeline_;
    DrawLighting lighting_;
    std::vector<PipelineDraw> pipelineDraws_;
    uint64_t capabilities_ = uint64_t{1} << kCapabilityBumpCombiners | uint64_t{1} << kCapabilityVertexPrograms |
                             uint64_t{1} << kCapabilityStageConstants;
    uint32_t stageCount_ = PipelineState::kStageCount;
};

}  // namespace Nyx
