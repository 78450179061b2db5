// The native object behind the script class Image: a 32-bit picture that
// asset scripts size, draw into (points, lines, boxes, circles, triangles,
// other images, TrueType text) and measure text for. It has no pixels until
// it is given a size of at least 1 by 1 or made from a file.
//
// Colours are packed as 0xAARRGGBB (bytes blue, green, red, alpha).
#pragma once

#include <cstdint>
#include <memory>

#include "gs/runtime/objects/GSObject.h"
#include "nyx/base/PString.h"
#include "nyx/gfx/bitmap/Bitmap.h"

class GSMachine;

namespace GSRuntime {
class GSClass;
class GSThread;
}

class GSOImage : public GSRuntime::GSObject {
public:
    // The largest side Clear and Resize make (a 256 MiB bitmap at most);
    // a larger size leaves the image without pixels.
    static constexpr int32_t kMaxSide = 8192;

    explicit GSOImage(GSRuntime::GSContext* context);
    ~GSOImage() override = default;

    // A new image with the script class attached, owned by its instance
    // (one count, the caller's); null without the class.
    static GSOImage* Create(GSRuntime::GSContext* context);
    // A new image loaded from the file `path`, taken inside `folder` (and
    // held to the content's file rule, nyx/files/File.h) when one is given;
    // null when the file does not load.
    static GSOImage* CreateFromFile(GSRuntime::GSContext* context, const Nyx::PString& folder,
                                    const Nyx::PString& path);

    // Clamped to 0..1, scaled to a byte and rounded.
    static uint32_t PackColour(float red, float green, float blue, float alpha) noexcept;

    const Nyx::Bitmap* Bitmap() const noexcept { return bitmap_.get(); }
    uint32_t LineColor() const noexcept { return lineColor_; }
    uint32_t FillColor() const noexcept { return fillColor_; }
    const Nyx::PString& FontName() const noexcept { return fontName_; }
    int32_t FontSize() const noexcept { return fontSize_; }

    static void RegisterNatives(GSMachine& machine);
    static bool LoadScriptClass(GSMachine& machine);
    // The class its objects attach, from the system class slots.
    static GSRuntime::GSClass* ScriptClass() noexcept;

    void NativeClear(GSRuntime::GSThread& thread);
    void NativeResize(GSRuntime::GSThread& thread);
    void NativeGetWidth(GSRuntime::GSThread& thread);
    void NativeGetHeight(GSRuntime::GSThread& thread);
    void NativeSetLineColor(GSRuntime::GSThread& thread);
    void NativeSetFillColor(GSRuntime::GSThread& thread);
    void NativeDrawPoint(GSRuntime::GSThread& thread);
    void NativeDrawRect(GSRuntime::GSThread& thread);
    void NativeDrawLine(GSRuntime::GSThread& thread);
    void NativeDrawCircle(GSRuntime::GSThread& thread);
    void NativeDrawTriangle(GSRuntime::GSThread& thread);
    void NativeDrawImageAt(GSRuntime::GSThread& thread);
    void NativeDrawImageInRect(GSRuntime::GSThread& thread);
    void NativeDrawImagePart(GSRuntime::GSThread& thread);
    void NativeSetTextFont(GSRuntime::GSThread& thread);
    void NativeMeasureTextWidth(GSRuntime::GSThread& thread);
    void NativeDrawText(GSRuntime::GSThread& thread);
    void NativeExportImage(GSRuntime::GSThread& thread);
    void NativeImportImage(GSRuntime::GSThread& thread);

    // The sizing and drawing the natives do, for the tool's own callers.
    void Clear(int32_t width, int32_t height);
    void Resize(int32_t width, int32_t height, bool scale);
    void DrawText(int32_t x, int32_t y, std::string_view text);

private:
    // A new bitmap of that size, or null beyond kMaxSide or out of memory.
    static std::unique_ptr<Nyx::Bitmap> MakeBitmap(int32_t width, int32_t height);
    // Copies the source rectangle of the image to (x, y) of this one.
    void DrawImage(const GSOImage& source, int32_t x, int32_t y, int32_t width, int32_t height,
                   const Nyx::Bitmap::Rect& sourceRect);

    std::unique_ptr<Nyx::Bitmap> bitmap_;
    uint32_t lineColor_ = 0xFFFFFFFFu;
    uint32_t fillColor_ = 0x00000000u;
    Nyx::PString fontName_;
    int32_t fontSize_ = 12;
};
