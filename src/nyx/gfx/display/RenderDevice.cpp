#include "nyx/gfx/display/RenderDevice.h"

namespace Nyx {

RenderBuffer* RenderDevice::CreateVertexBuffer(uint32_t vertexType, uint32_t vertexCount)
{
    if (refuseCreates_)
        return nullptr;
    ++creates_;
    auto* buffer = new RenderBuffer(RenderBuffer::kVertices, vertexType, vertexCount);
    buffer->AddRef();
    return buffer;
}

RenderBuffer* RenderDevice::CreateIndexBuffer(uint32_t indexCount)
{
    if (refuseCreates_)
        return nullptr;
    ++creates_;
    auto* buffer = new RenderBuffer(RenderBuffer::kIndices, 0, indexCount);
    buffer->AddRef();
    return buffer;
}

bool RenderDevice::Upload(RenderBuffer& buffer, const void* data, uint32_t bytes)
{
    if (refuseUploads_)
        return false;
    ++uploads_;
    ++buffer.uploads_;
    const auto* b = static_cast<const uint8_t*>(data);
    buffer.contents_.assign(b, b ? b + bytes : b);
    return true;
}

}  // namespace Nyx

namespace Nyx {

RenderDevice::RenderDevice() : vertexPrograms_(new VertexProgramManager), combiners_(new TextureCombinerManager) {}

RenderDevice::~RenderDevice() = default;

TextureStageSetup* RenderDevice::CreateTextureStageSetup(uint32_t number)
{
    if (refuseSetups_ || setupBudget_ == 0)
        return nullptr;
    if (setupBudget_ > 0)
        --setupBudget_;
    auto* setup = new TextureStageSetup(number);
    setup->AddRef();
    ++liveSetups_;
    return setup;
}

TextureStageSetup* RenderDevice::CreateTextureStageSetup(uint32_t stage, const TextureArgs& colour,
                                                        const TextureArgs& alpha)
{
    if (refuseSetups_ || setupBudget_ == 0)
        return nullptr;
    if (setupBudget_ > 0)
        --setupBudget_;
    TextureArgs stageColour = colour;
    TextureArgs stageAlpha = alpha;
    stageColour.stage = stage;
    stageAlpha.stage = stage;
    auto* setup = new TextureStageSetup(nextRecordSetup_++, stageColour, stageAlpha);
    setup->AddRef();
    ++liveSetups_;
    return setup;
}

bool RenderDevice::RegisterVertexType(const VertexType& type)
{
    if (type.GetItemCount() == 0)
        return false;
    ++vertexTypeRegistrations_;
    for (auto& held : vertexTypes_) {
        if (held->id == type.id) {
            *held = type;
            return true;
        }
    }
    vertexTypes_.push_back(std::make_unique<VertexType>(type));
    return true;
}

const VertexType* RenderDevice::FindVertexType(uint32_t id) const noexcept
{
    for (const auto& held : vertexTypes_)
        if (held->id == id)
            return held.get();
    return VertexType::Get(id);
}

void RenderDevice::ReleaseTextureStageSetup(TextureStageSetup* setup)
{
    if (!setup)
        return;
    --liveSetups_;
    setup->Release();
}

}  // namespace Nyx
