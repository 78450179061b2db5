#include "scriptapi/image/GSOImage.h"

#include <algorithm>
#include <limits>
#include <string>

#include "core/text/TextEncoding.h"
#include "gs/runtime/interp/GSThread.h"
#include "gs/runtime/natives/NativeParams.h"
#include "scriptapi/binding/NativeRegistration.h"
#include "scriptapi/binding/ParamAccess.h"
#include "scriptapi/binding/ScriptObjects.h"
#include "scriptapi/data/GSOSoup.h"
#include "scriptapi/image/TTFontCache.h"
#include "scriptapi/startup/SystemClasses.h"

using GSRuntime::GSThread;
using GSRuntime::IntParam;

namespace {

constexpr MemberNative<GSOImage> kNatives[] = {
    {"$void@Image::Clear(int,int)", &GSOImage::NativeClear},
    {"$void@Image::Resize(int,int,bool)", &GSOImage::NativeResize},
    {"$int@Image::GetWidth()", &GSOImage::NativeGetWidth},
    {"$int@Image::GetHeight()", &GSOImage::NativeGetHeight},
    {"$void@Image::SetLineColor(float,float,float,float)", &GSOImage::NativeSetLineColor},
    {"$void@Image::SetFillColor(float,float,float,float)", &GSOImage::NativeSetFillColor},
    {"$void@Image::DrawPoint(int,int)", &GSOImage::NativeDrawPoint},
    {"$void@Image::DrawRect(int,int,int,int)", &GSOImage::NativeDrawRect},
    {"$void@Image::DrawLine(int,int,int,int)", &GSOImage::NativeDrawLine},
    {"$void@Image::DrawCircle(int,int,int)", &GSOImage::NativeDrawCircle},
    {"$void@Image::DrawTriangle(int,int,int,int,int,int)", &GSOImage::NativeDrawTriangle},
    {"$void@Image::DrawImage(int,int,Image)", &GSOImage::NativeDrawImageAt},
    {"$void@Image::DrawImage(int,int,int,int,Image)", &GSOImage::NativeDrawImageInRect},
    {"$void@Image::DrawImage(int,int,int,int,Image,int,int,int,int)", &GSOImage::NativeDrawImagePart},
    {"$void@Image::SetTextFont(string,int)", &GSOImage::NativeSetTextFont},
    {"$int@Image::MeasureTextWidth(string)", &GSOImage::NativeMeasureTextWidth},
    {"$void@Image::DrawText(int,int,string)", &GSOImage::NativeDrawText},
    {"$Soup@Image::ExportImage()", &GSOImage::NativeExportImage},
    {"$void@Image::ImportImage(Soup)", &GSOImage::NativeImportImage},
};

uint32_t ColourByte(float value) noexcept
{
    // NaN fails both tests and reads as 0.
    if (!(value > 0.0f))
        return 0;
    if (value >= 1.0f)
        return 255;
    return static_cast<uint32_t>(value * 255.0f + 0.5f);
}

// The difference of two script coordinates, held to 32 bits.
int32_t Extent(int32_t from, int32_t to) noexcept
{
    const int64_t d = int64_t{to} - from;
    return static_cast<int32_t>(std::clamp<int64_t>(d, std::numeric_limits<int32_t>::min(),
                                                    std::numeric_limits<int32_t>::max()));
}

std::string Lower(std::string_view text)
{
    std::string out(text);
    for (char& c : out)
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c);
    return out;
}

}  // namespace

GSOImage::GSOImage(GSRuntime::GSContext*) : fontName_("swiss") {}

GSOImage* GSOImage::Create(GSRuntime::GSContext* context)
{
    return ScriptObjects::Adopt(new GSOImage(context), ScriptClass(), context);
}

GSOImage* GSOImage::CreateFromFile(GSRuntime::GSContext* context, const Nyx::PString& folder,
                                   const Nyx::PString& path)
{
    auto bitmap = std::make_unique<Nyx::Bitmap>();
    if (!bitmap->Load(folder, Nyx::File::Path(path.c_str())))
        return nullptr;
    GSOImage* image = Create(context);
    if (image)
        image->bitmap_ = std::move(bitmap);
    return image;
}

uint32_t GSOImage::PackColour(float red, float green, float blue, float alpha) noexcept
{
    return (ColourByte(alpha) << 24) | (ColourByte(red) << 16) | (ColourByte(green) << 8) | ColourByte(blue);
}

void GSOImage::RegisterNatives(GSMachine& machine)
{
    RegisterMemberNatives(machine, "Image", kNatives);
}

GSRuntime::GSClass* GSOImage::ScriptClass() noexcept
{
    return GetSystemClass(SystemClass::kImage);
}

bool GSOImage::LoadScriptClass(GSMachine& machine)
{
    return LoadSystemClass(machine, "Image.gsl", "Image", SystemClassSlot(SystemClass::kImage));
}

std::unique_ptr<Nyx::Bitmap> GSOImage::MakeBitmap(int32_t width, int32_t height)
{
    if (width < 1 || height < 1 || width > kMaxSide || height > kMaxSide)
        return nullptr;
    auto bitmap = std::make_unique<Nyx::Bitmap>(static_cast<uint32_t>(width), static_cast<uint32_t>(height),
                                                Nyx::Bitmap::kFormatARGB32);
    if (bitmap->Empty())
        return nullptr;
    return bitmap;
}

void GSOImage::Clear(int32_t width, int32_t height)
{
    bitmap_.reset();
    bitmap_ = MakeBitmap(width, height);
    if (bitmap_)
        bitmap_->Clear(fillColor_);
}

void GSOImage::Resize(int32_t width, int32_t height, bool scale)
{
    const int32_t oldWidth = bitmap_ ? static_cast<int32_t>(bitmap_->GetWidth()) : 0;
    const int32_t oldHeight = bitmap_ ? static_cast<int32_t>(bitmap_->GetHeight()) : 0;
    if (width == oldWidth && height == oldHeight)
        return;
    if (width < 1 || height < 1 || !bitmap_) {
        Clear(width, height);
        return;
    }
    std::unique_ptr<Nyx::Bitmap> resized = MakeBitmap(width, height);
    if (!resized) {
        bitmap_.reset();
        return;
    }
    resized->Clear(0);
    const Nyx::Bitmap::Rect whole{0, 0, width, height};
    if (scale)
        resized->Image(*bitmap_, Nyx::Bitmap::Rect{0, 0, oldWidth, oldHeight}, whole, Nyx::Bitmap::kModeCopy, whole);
    else
        resized->Image(*bitmap_, whole, whole, Nyx::Bitmap::kModeCopy, whole);
    bitmap_ = std::move(resized);
}

void GSOImage::NativeClear(GSThread& thread)
{
    Clear(IntParam(thread, 1), IntParam(thread, 2));
}

void GSOImage::NativeResize(GSThread& thread)
{
    Resize(IntParam(thread, 1), IntParam(thread, 2), GSRuntime::BoolParam(thread, 3));
}

void GSOImage::NativeGetWidth(GSThread& thread)
{
    thread.stack.PushInt(bitmap_ ? static_cast<int32_t>(bitmap_->GetWidth()) : 0);
}

void GSOImage::NativeGetHeight(GSThread& thread)
{
    thread.stack.PushInt(bitmap_ ? static_cast<int32_t>(bitmap_->GetHeight()) : 0);
}

void GSOImage::NativeSetLineColor(GSThread& thread)
{
    using GSRuntime::FloatParam;
    lineColor_ = PackColour(FloatParam(thread, 1), FloatParam(thread, 2), FloatParam(thread, 3), FloatParam(thread, 4));
}

void GSOImage::NativeSetFillColor(GSThread& thread)
{
    using GSRuntime::FloatParam;
    fillColor_ = PackColour(FloatParam(thread, 1), FloatParam(thread, 2), FloatParam(thread, 3), FloatParam(thread, 4));
}

void GSOImage::NativeDrawPoint(GSThread& thread)
{
    if (bitmap_)
        bitmap_->BlendPixel(IntParam(thread, 1), IntParam(thread, 2), lineColor_);
}

void GSOImage::NativeDrawRect(GSThread& thread)
{
    if (!bitmap_)
        return;
    const int32_t x1 = IntParam(thread, 1);
    const int32_t y1 = IntParam(thread, 2);
    const Nyx::Bitmap::Rect rect{x1, y1, Extent(x1, IntParam(thread, 3)), Extent(y1, IntParam(thread, 4))};
    bitmap_->Box(rect, fillColor_, Nyx::Bitmap::kModeFill);
    bitmap_->Box(rect, lineColor_, Nyx::Bitmap::kModeOutline);
}

void GSOImage::NativeDrawLine(GSThread& thread)
{
    if (bitmap_)
        bitmap_->Line(IntParam(thread, 1), IntParam(thread, 2), IntParam(thread, 3), IntParam(thread, 4), lineColor_,
                      Nyx::Bitmap::kModeLine);
}

void GSOImage::NativeDrawCircle(GSThread& thread)
{
    if (!bitmap_)
        return;
    const int32_t x = IntParam(thread, 1);
    const int32_t y = IntParam(thread, 2);
    const int32_t r = IntParam(thread, 3);
    bitmap_->Circle(x, y, r, fillColor_, Nyx::Bitmap::kModeFill);
    bitmap_->Circle(x, y, r, lineColor_, Nyx::Bitmap::kModeLine);
}

void GSOImage::NativeDrawTriangle(GSThread& thread)
{
    if (!bitmap_)
        return;
    int32_t p[6];
    for (uint32_t i = 0; i < 6; ++i)
        p[i] = IntParam(thread, i + 1);
    bitmap_->Triangle(p[0], p[1], p[2], p[3], p[4], p[5], fillColor_, Nyx::Bitmap::kModeFill);
    bitmap_->Triangle(p[0], p[1], p[2], p[3], p[4], p[5], lineColor_, Nyx::Bitmap::kModeLine);
}

void GSOImage::DrawImage(const GSOImage& source, int32_t x, int32_t y, int32_t width, int32_t height,
                         const Nyx::Bitmap::Rect& sourceRect)
{
    if (!bitmap_ || !source.bitmap_)
        return;
    if (&source == this && (sourceRect.width != width || sourceRect.height != height))
        return;
    bitmap_->Image(*source.bitmap_, x, y, sourceRect, Nyx::Bitmap::kModeBlend);
}

void GSOImage::NativeDrawImageAt(GSThread& thread)
{
    GSOImage* source = nullptr;
    if (!ParamAccess::GetObjectParam(3, thread, source, false))
        return;
    if (!source->bitmap_)
        return;
    const int32_t w = static_cast<int32_t>(source->bitmap_->GetWidth());
    const int32_t h = static_cast<int32_t>(source->bitmap_->GetHeight());
    DrawImage(*source, IntParam(thread, 1), IntParam(thread, 2), w, h, Nyx::Bitmap::Rect{0, 0, w, h});
}

void GSOImage::NativeDrawImageInRect(GSThread& thread)
{
    GSOImage* source = nullptr;
    if (!ParamAccess::GetObjectParam(5, thread, source, false))
        return;
    if (!source->bitmap_)
        return;
    const int32_t x1 = IntParam(thread, 1);
    const int32_t y1 = IntParam(thread, 2);
    const int32_t w = static_cast<int32_t>(source->bitmap_->GetWidth());
    const int32_t h = static_cast<int32_t>(source->bitmap_->GetHeight());
    DrawImage(*source, x1, y1, Extent(x1, IntParam(thread, 3)), Extent(y1, IntParam(thread, 4)),
              Nyx::Bitmap::Rect{0, 0, w, h});
}

void GSOImage::NativeDrawImagePart(GSThread& thread)
{
    GSOImage* source = nullptr;
    if (!ParamAccess::GetObjectParam(5, thread, source, false))
        return;
    const int32_t x1 = IntParam(thread, 1);
    const int32_t y1 = IntParam(thread, 2);
    const int32_t sx1 = IntParam(thread, 6);
    const int32_t sy1 = IntParam(thread, 7);
    DrawImage(*source, x1, y1, Extent(x1, IntParam(thread, 3)), Extent(y1, IntParam(thread, 4)),
              Nyx::Bitmap::Rect{sx1, sy1, Extent(sx1, IntParam(thread, 8)), Extent(sy1, IntParam(thread, 9))});
}

void GSOImage::NativeSetTextFont(GSThread& thread)
{
    Nyx::PString name;
    if (!ParamAccess::GetPStringParam(false, name, thread, 1))
        return;
    fontName_ = Nyx::PString(Lower(name.View()));
    fontSize_ = IntParam(thread, 2);
}

void GSOImage::NativeMeasureTextWidth(GSThread& thread)
{
    Nyx::PString text;
    if (!ParamAccess::GetPStringParam(false, text, thread, 1))
        return;
    const TTFont* font = TTFontCache::Get(fontName_, fontSize_);
    thread.stack.PushInt(font ? font->MeasureText(text.View()) : 0);
}

void GSOImage::DrawText(int32_t x, int32_t y, std::string_view text)
{
    if (!bitmap_)
        return;
    TTFont* font = TTFontCache::Get(fontName_, fontSize_);
    if (!font)
        return;
    int64_t pen = x;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (at < end) {
        int length = 0;
        const uint32_t c = DecodeUTF8Char(at, end, &length);
        at += length > 0 ? length : 1;
        TTFont::Glyph glyph;
        if (!font->GetGlyph(c, glyph))
            continue;
        pen += glyph.leading;
        if (glyph.width > 0 && pen >= std::numeric_limits<int32_t>::min() && pen <= std::numeric_limits<int32_t>::max())
            font->CopyGlyph(*bitmap_, static_cast<int32_t>(pen), y, glyph);
        pen += int64_t{glyph.drawnWidth} + glyph.trailing;
    }
    font->DropDC();
}

void GSOImage::NativeDrawText(GSThread& thread)
{
    Nyx::PString text;
    if (!ParamAccess::GetPStringParam(false, text, thread, 3))
        return;
    DrawText(IntParam(thread, 1), IntParam(thread, 2), text.View());
}

void GSOImage::NativeExportImage(GSThread& thread)
{
    ScriptObjects::PushNew(thread, GSOSoup::CreateLocked(Context(), ChunkRef()));
}

void GSOImage::NativeImportImage(GSThread& thread)
{
    GSOSoup* soup = nullptr;
    ParamAccess::GetObjectParam(1, thread, soup, false);
}
