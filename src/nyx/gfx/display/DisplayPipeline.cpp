#include "nyx/gfx/display/DisplayPipeline.h"

#include "nyx/gfx/chunks/GeometryChunk.h"
#include "nyx/gfx/display/RenderDevice.h"

namespace Nyx {

namespace {

std::vector<float> MatrixValues(uint32_t stage, const Matrix4& m)
{
    std::vector<float> values{static_cast<float>(stage)};
    for (const auto& row : m.m)
        values.insert(values.end(), row, row + 4);
    return values;
}

}  // namespace

void DisplayPipeline::SetAlphaBlendMode(bool on)
{
    pipeline_.blend = on;
    Record("SetAlphaBlendMode", {on ? 1.0f : 0.0f});
}

void DisplayPipeline::SetAlphaBlendFunction(int32_t source, int32_t destination)
{
    pipeline_.sourceBlend = source;
    pipeline_.destinationBlend = destination;
    Record("SetAlphaBlendFunction", {static_cast<float>(source), static_cast<float>(destination)});
}

void DisplayPipeline::SetCullMode(int32_t mode)
{
    pipeline_.cullMode = mode;
    Record("SetCullMode", {static_cast<float>(mode)});
}

void DisplayPipeline::SetAlphaTest(bool on, float reference)
{
    pipeline_.alphaTest = on;
    pipeline_.alphaReference = reference;
    Record("SetAlphaTest", {on ? 1.0f : 0.0f, reference});
}

void DisplayPipeline::SetAlphaTestMode(bool on)
{
    pipeline_.alphaTest = on;
    Record("SetAlphaTestMode", {on ? 1.0f : 0.0f});
}

void DisplayPipeline::SetColorMaterialMode(int32_t mode)
{
    pipeline_.colourMaterialMode = mode;
    Record("SetColorMaterialMode", {static_cast<float>(mode)});
}

void DisplayPipeline::ApplyTextureStageSetup(const TextureStageSetup& setup)
{
    ApplyStageSetup(setup, setup.GetStage());
}

void DisplayPipeline::SetTextureCoordGen(uint32_t stage, uint32_t mode, uint32_t source)
{
    if (stage >= PipelineState::kStageCount)
        return;
    pipeline_.stages[stage].texGenMode = mode;
    pipeline_.stages[stage].texGenSource = source;
    Record("SetTextureCoordGen", {static_cast<float>(stage), static_cast<float>(mode), static_cast<float>(source)});
}

void DisplayPipeline::RestoreStageTextureTransform(uint32_t stage)
{
    if (stage >= PipelineState::kStageCount)
        return;
    pipeline_.stages[stage].matrix = Matrix4{};
    pipeline_.stages[stage].matrixSet = false;
    Record("RestoreStageTextureTransform", {static_cast<float>(stage)});
}

void DisplayPipeline::LoadMatrix(const Matrix4& matrix) { Record("LoadMatrix", MatrixValues(0, matrix)); }

void DisplayPipeline::SetMaterialLighting(const DisplayMaterial& material, uint32_t lightCount, float scale,
                                          uint32_t program)
{
    lighting_ = {true, material, lightCount, scale, program};
    Record("SetMaterialLighting", {static_cast<float>(lightCount), scale, static_cast<float>(program)});
}

void DisplayPipeline::SetDepthWriteMode(bool on)
{
    pipeline_.depthWrite = on;
    Record("SetDepthWriteMode", {on ? 1.0f : 0.0f});
}

void DisplayPipeline::SetColourMaterial(bool on)
{
    pipeline_.colourMaterial = on;
    Record("SetColourMaterial", {on ? 1.0f : 0.0f});
}

void DisplayPipeline::SetWorldTransform(const Matrix4& world)
{
    pipeline_.world = world;
    Record("SetWorldTransform", MatrixValues(0, world));
}

void DisplayPipeline::SetGlobalAmbient(const DisplayColour& colour)
{
    pipeline_.globalAmbient = colour;
    Record("SetGlobalAmbient", {colour.r, colour.g, colour.b, colour.a});
}

void DisplayPipeline::SetStageTexture(uint32_t stage, const Texture* texture)
{
    if (stage >= PipelineState::kStageCount)
        return;
    pipeline_.stages[stage].texture = texture;
    pipeline_.stages[stage].environmentMap = false;
    Record(texture ? "SetStageTexture" : "ClearStageTexture", {static_cast<float>(stage)});
}

void DisplayPipeline::SetStageTextureMatrix(uint32_t stage, const Matrix4& matrix)
{
    if (stage >= PipelineState::kStageCount)
        return;
    pipeline_.stages[stage].matrix = matrix;
    pipeline_.stages[stage].matrixSet = true;
    Record("SetStageTextureMatrix", MatrixValues(stage, matrix));
}

void DisplayPipeline::SetStageConstantColour(uint32_t stage, const DisplayColour& colour)
{
    if (stage >= PipelineState::kStageCount)
        return;
    pipeline_.stages[stage].constant = colour;
    Record("SetStageConstantColour", {static_cast<float>(stage), colour.r, colour.g, colour.b, colour.a});
}

void DisplayPipeline::SetEnvironmentMap(uint32_t stage)
{
    if (stage >= PipelineState::kStageCount)
        return;
    pipeline_.stages[stage].texture = nullptr;
    pipeline_.stages[stage].environmentMap = true;
    Record("SetEnvironmentMap", {static_cast<float>(stage)});
}

void DisplayPipeline::ApplyStageSetup(const TextureStageSetup& setup, uint32_t stage)
{
    if (stage >= PipelineState::kStageCount)
        return;
    pipeline_.stages[stage].setup = setup.GetNumber() + 1;
    Record("ApplyStageSetup", {static_cast<float>(stage), static_cast<float>(setup.GetNumber())});
}

void DisplayPipeline::ResetStage(uint32_t stage)
{
    if (stage >= PipelineState::kStageCount)
        return;
    pipeline_.stages[stage] = StageState{};
    Record("ResetStage", {static_cast<float>(stage)});
}

void DisplayPipeline::EnableCombiner(const TextureCombiner* combiner)
{
    pipeline_.combiner = combiner;
    Note(combiner ? combiner->GetName() + ".Enable" : std::string("DisableCombiner"));
}

void DisplayPipeline::DisableCombiner(const TextureCombiner* combiner)
{
    if (combiner && pipeline_.combiner == combiner)
        pipeline_.combiner = nullptr;
    Note(combiner ? combiner->GetName() + ".Disable" : std::string("DisableCombiner"));
}

void DisplayPipeline::DrawWithProgram(const GeometryChunk& chunk, const VertexProgram* program,
                                      const PrimitiveRange* range)
{
    if (!IsKeepingRecording())
        return;
    PipelineDraw draw;
    draw.chunk = &chunk;
    draw.ranged = range != nullptr;
    draw.primitiveCount = range ? range->count : chunk.GetPrimitiveCount();
    draw.state = pipeline_;
    draw.lighting = lighting_;
    if (range) {
        draw.rangePrimitiveType = range->primitiveType;
        if (range->indices)
            draw.rangeIndices.assign(range->indices, range->indices + range->indexCount);
    }
    if (program) {
        draw.vertexProgram = program->GetName();
        draw.localConstants = program->GetLocalConstants();
    }
    if (pipeline_.combiner) {
        draw.combiner = pipeline_.combiner->GetName();
        draw.registers = pipeline_.combiner->GetRegisters();
    }
    pipelineDraws_.push_back(std::move(draw));
    Note(range ? "DrawPrimitives" : "DrawGeometry", {static_cast<float>(pipelineDraws_.back().primitiveCount)});
}

}  // namespace Nyx
