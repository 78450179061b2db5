#include "resources/materials/onetex/KestroGroundBaseMaterial.h"

#include "nyx/gfx/display/Display.h"

namespace Nyx {

KestroGroundBaseMaterial::KestroGroundBaseMaterial(MaterialManager* manager, RenderingCache* chunkCache,
                                                   RenderingCache* maskCache, RenderingCache* blendCache,
                                                   std::string_view typeName)
    : OneTextureMaterial(PString(typeName), manager, chunkCache, maskCache, blendCache)
{
}

void KestroGroundBaseMaterial::InitGroundInstance(const KestroGroundBaseMaterial& from)
{
    InitInstance(from);
    depthWrite_ = from.depthWrite_;
    alphaTest_ = from.alphaTest_;
}

OneTextureMaterial* KestroGroundBaseMaterial::CreateInstance() const
{
    auto* copy = new KestroGroundBaseMaterial(GetManager(), GetChunkCache(), GetMaskCache(), GetBlendCache());
    copy->InitGroundInstance(*this);
    return copy;
}

Material* KestroGroundBaseMaterial::Duplicate() const
{
    OneTextureMaterial* copy = CreateInstance();
    copy->AddRef();
    return copy;
}

bool KestroGroundBaseMaterial::Equals(const Material& other) const
{
    const auto* o = dynamic_cast<const KestroGroundBaseMaterial*>(&other);
    return o && o->depthWrite_ == depthWrite_ && o->alphaTest_ == alphaTest_ && OneTextureMaterial::Equals(other);
}

void KestroGroundBaseMaterial::Bind(Display& display, ViewPoint* /*viewport*/, uint32_t pass)
{
    if (pass == 0)
        SetDisplayState(display);
}

void KestroGroundBaseMaterial::Unbind(Display& display, ViewPoint* /*viewport*/, uint32_t pass)
{
    if (pass == 0)
        ClearDisplayState(display);
}

void KestroGroundBaseMaterial::SetDisplayState(Display& display)
{
    OneTextureMaterial::SetDisplayState(display);
    savedAlphaTest_ = display.GetAlphaTestMode();
    display.SetAlphaTestMode(alphaTest_);
    display.SetDepthWriteMode(depthWrite_);
}

void KestroGroundBaseMaterial::ClearDisplayState(Display& display)
{
    OneTextureMaterial::ClearDisplayState(display);
    display.SetAlphaTestMode(savedAlphaTest_);
    display.SetDepthWriteMode(true);
}

}  // namespace Nyx
