#include "nyx/gfx/RenderDevice.h"

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
    if (refuseSetups_)
        return nullptr;
    auto* setup = new TextureStageSetup(number);
    setup->AddRef();
    ++liveSetups_;
    return setup;
}

void RenderDevice::ReleaseTextureStageSetup(TextureStageSetup* setup)
{
    if (!setup)
        return;
    --liveSetups_;
    setup->Release();
}

}  // namespace Nyx
