#include "scriptapi/image/TTFont.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "core/process/Log.h"
#include "core/text/TextEncoding.h"

namespace {

struct CharsetName {
    const char* name;
    uint32_t charset;
};

constexpr CharsetName kCharsets[] = {
    {"ansi", 0},        {"baltic", 186},   {"big5", 136},      {"default", 1},   {"easteurope", 238},
    {"gb2312", 134},    {"greek", 161},    {"hangul", 129},    {"mac", 77},      {"thai", 222},
    {"oem", 255},       {"russian", 204},  {"shiftjis", 128},  {"symbol", 2},    {"turkish", 162},
    {"vietnamese", 163}, {"johab", 130},   {"arabic", 178},    {"hebrew", 177},
};

struct Subset {
    uint32_t bit;
    uint32_t first;
    uint32_t last;
};

// The Unicode subsets of the font signature, in the order their ranges are
// laid out in the width table (not ascending: see the sort in Init).
constexpr Subset kSubsets[] = {
    {0, 0x0020, 0x007E},  {1, 0x00A0, 0x00FF},  {2, 0x0100, 0x017F},  {3, 0x0180, 0x024F},  {4, 0x0250, 0x02AF},
    {5, 0x02B0, 0x02FF},  {6, 0x0300, 0x036F},  {7, 0x0370, 0x03FF},  {9, 0x0400, 0x04FF},  {10, 0x0530, 0x058F},
    {11, 0x0590, 0x05FF}, {13, 0x0600, 0x06FF}, {15, 0x0900, 0x097F}, {16, 0x0980, 0x09FF}, {17, 0x0A00, 0x0A7F},
    {18, 0x0A80, 0x0AFF}, {19, 0x0B00, 0x0B7F}, {20, 0x0B80, 0x0BFF}, {21, 0x0C00, 0x0C7F}, {22, 0x0C80, 0x0CFF},
    {23, 0x0D00, 0x0D7F}, {24, 0x0E00, 0x0E7F}, {25, 0x0E80, 0x0EFF}, {26, 0x10A0, 0x10FF}, {28, 0x1100, 0x11FF},
    {29, 0x1E00, 0x1EFF}, {30, 0x1F00, 0x1FFF}, {31, 0x2000, 0x206F}, {32, 0x2070, 0x209F}, {33, 0x20A0, 0x20CF},
    {34, 0x20D0, 0x20FF}, {35, 0x2100, 0x214F}, {36, 0x2150, 0x218F}, {37, 0x2190, 0x21FF}, {38, 0x2200, 0x22FF},
    {39, 0x2300, 0x23FF}, {40, 0x2400, 0x243F}, {41, 0x2440, 0x245F}, {42, 0x2460, 0x24FF}, {43, 0x2500, 0x257F},
    {44, 0x2580, 0x259F}, {45, 0x25A0, 0x25FF}, {46, 0x2600, 0x26FF}, {47, 0x2700, 0x27BF}, {48, 0x3000, 0x303F},
    {49, 0x3040, 0x309F}, {50, 0x30A0, 0x30FF}, {51, 0x3100, 0x312F}, {51, 0x31A0, 0x31BF}, {52, 0x3130, 0x318F},
    {53, 0x3190, 0x319F}, {54, 0x3200, 0x32FF}, {55, 0x3300, 0x33FF}, {56, 0xAC00, 0xD7A3}, {57, 0xD800, 0xDFFF},
    {59, 0x4E00, 0x9FFF}, {59, 0x2E80, 0x2EFF}, {59, 0x2F00, 0x2FDF}, {59, 0x2FF0, 0x2FFF}, {59, 0x3400, 0x4DBF},
    {60, 0xE000, 0xF8FF}, {61, 0xF900, 0xFAFF}, {62, 0xFB00, 0xFB4F}, {63, 0xFB50, 0xFDFF}, {64, 0xFE20, 0xFE2F},
    {65, 0xFE30, 0xFE4F}, {66, 0xFE50, 0xFE6F}, {67, 0xFE70, 0xFEFE}, {68, 0xFF00, 0xFFEF}, {69, 0xFFF0, 0xFFFD},
    {70, 0x0F00, 0x0FCF}, {71, 0x0700, 0x074F}, {72, 0x0780, 0x07BF}, {73, 0x0D80, 0x0DFF}, {74, 0x1000, 0x109F},
    {75, 0x1200, 0x12BF}, {76, 0x13A0, 0x13FF}, {77, 0x1400, 0x14DF}, {78, 0x1680, 0x169F}, {79, 0x16A0, 0x16FF},
    {80, 0x1780, 0x17FF}, {81, 0x1800, 0x18AF}, {82, 0x2800, 0x28FF}, {83, 0xA000, 0xA48C},
};
static_assert(std::size(kSubsets) == 84);

constexpr size_t kMaxFaceChars = 256;
constexpr uint32_t kNoGlyph = UINT32_MAX;

bool EqualNoCase(const char* a, const char* b)
{
    for (; *a && *b; ++a, ++b) {
        const char x = (*a >= 'A' && *a <= 'Z') ? char(*a + 32) : *a;
        if (x != *b)
            return false;
    }
    return *a == *b;
}

// White space as the platform's wide-character test has it, below U+10000.
bool IsSpace(uint32_t c) noexcept
{
    return (c >= 0x09 && c <= 0x0D) || c == 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 ||
           (c >= 0x2000 && c <= 0x200A) || c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000;
}

// The face name from ANSI text to UTF-8, at most 256 characters.
std::string FaceNameUtf8(const char* ansi)
{
    std::string out;
    if (!ansi)
        return out;
    for (size_t i = 0; ansi[i] && i < kMaxFaceChars; ++i) {
        const uint32_t c = Cp1252ToCodePoint(static_cast<uint8_t>(ansi[i]));
        if (c < 0x80) {
            out += char(c);
        } else if (c < 0x800) {
            out += char(0xC0 | (c >> 6));
            out += char(0x80 | (c & 0x3F));
        } else {
            out += char(0xE0 | (c >> 12));
            out += char(0x80 | ((c >> 6) & 0x3F));
            out += char(0x80 | (c & 0x3F));
        }
    }
    return out;
}

}  // namespace

uint32_t TTFont::CharsetFromName(const char* name) noexcept
{
    if (!name)
        return 1;
    for (const CharsetName& entry : kCharsets)
        if (EqualNoCase(name, entry.name))
            return entry.charset;
    return 1;
}

uint32_t TTFont::AtlasSide(int32_t cellWidth, int32_t cellHeight) noexcept
{
    if (cellWidth <= 0 || cellHeight < 0)
        return kMaxAtlasSide;
    uint32_t side = 64;
    while (side < kMaxAtlasSide &&
           (side / (static_cast<uint32_t>(cellHeight) + 1)) * (side / static_cast<uint32_t>(cellWidth)) < 64)
        side *= 2;
    return side;
}

bool TTFont::Fail(const char* format, const char* face)
{
    LogMessage(format, face);
    Reset();
    return false;
}

bool TTFont::Init(const char* charsetName, const char* faceName, int32_t height, uint32_t style)
{
    Reset();
    platform_ = &FontPlatform::Current();
    style_ = style;
    extraSpacing_ = 0;
    uint32_t charset = CharsetFromName(charsetName);
    const char* face = faceName ? faceName : "";

    FontRequest request;
    request.faceName = FaceNameUtf8(faceName);
    request.height = height;
    request.weight = (style & kBold) ? 700 : 400;
    request.italic = (style & kItalic) != 0;
    request.underline = (style & kUnderline) != 0;
    request.strikeOut = (style & kStrikeOut) != 0;
    request.quality = (style & kAntialiased) ? 4 : 3;
    for (;;) {
        request.charset = charset;
        font_ = platform_->CreateFont(request);
        if (font_)
            break;
        LogMessage("TTFont::Init> '%s' CreateFontW failed", face);
        if (charset == 1)
            return Fail("TTFont::Init> '%s' failed retry", face);
        charset = 1;
        LogMessage("TTFont::Init> '%s' retrying with DEFAULT_CHARSET", face);
    }

    if (!platform_->CreateDC()) {
        Reset();
        return false;
    }
    dc_ = true;
    FontMetrics metrics;
    if (!platform_->GetTextMetrics(*font_, metrics))
        return Fail("TTFont::Init> '%s' GetTextMetricsW failed", face);
    cellHeight_ = metrics.height;
    ascent_ = metrics.ascent;
    if (style & kShadow) {
        shadowExtra_ = 1;
        cellHeight_ += 1;
    }

    FontSignature signature;
    if (platform_->GetTextCharsetInfo(*font_, signature) == 1)
        return Fail("TTFont::Init> '%s' DEFAULT_CHARSET", face);

    uint32_t total = 0;
    for (const Subset& subset : kSubsets) {
        if (signature.unicodeRanges[subset.bit / 32] & (1u << (subset.bit % 32))) {
            ranges_.push_back({total, subset.first, subset.last});
            total += subset.last - subset.first + 1;
        }
    }
    abcWidths_.resize(total);
    for (size_t i = 0; i < ranges_.size(); ++i) {
        const Range& range = ranges_[i];
        if (!platform_->GetCharABCWidths(*font_, range.first, range.last, abcWidths_.data() + range.firstGlyph)) {
            LogMessage("TTFont::Init> '%s' Unable to get char widths for range %d", face, static_cast<int>(i));
            Reset();
            return false;
        }
    }
    // The lookup halves over first code points: the table's order is not
    // ascending everywhere, so the ranges are sorted once their glyph
    // indexes are fixed.
    std::sort(ranges_.begin(), ranges_.end(), [](const Range& a, const Range& b) { return a.first < b.first; });

    const bool lined = (style & (kUnderline | kStrikeOut)) != 0;
    cellWidth_ = 0;
    for (GlyphWidths& w : abcWidths_) {
        if (lined) {
            w.b = w.a + w.b + w.c;
            w.a = 0;
            w.c = 0;
        }
        cellWidth_ = std::max(cellWidth_, w.b);
        if (extraSpacing_ > 0)
            w.c += extraSpacing_;
    }
    const uint32_t question = GlyphIndex('?', kNoGlyph);
    defaultGlyph_ = question == kNoGlyph ? 0 : question;
    const uint32_t space = GlyphIndex(' ', kNoGlyph);
    spaceWidth_ = space < abcWidths_.size() ? abcWidths_[space].a + abcWidths_[space].b + abcWidths_[space].c : 10;

    cellWidth_ += shadowExtra_ + 1 + (lined ? 1 : 0);
    atlasSize_ = AtlasSide(cellWidth_, cellHeight_);
    columns_ = atlasSize_ / static_cast<uint32_t>(cellWidth_);
    rows_ = cellHeight_ < 0 ? 0 : atlasSize_ / (static_cast<uint32_t>(cellHeight_) + 1);
    texelScale_ = 1.0f / static_cast<float>(atlasSize_);
    // A cell larger than the largest atlas leaves no cell to draw into.
    if (columns_ == 0 || rows_ == 0)
        return Fail("TTFont::Init> '%s' size too large", face);

    if (!platform_->CreateDIBSection(atlas_, atlasSize_))
        return Fail("TTFont::Init> '%s' CreateDIBSection failed", face);

    const uint32_t count = columns_ * rows_;
    cells_.resize(count);
    cellOrder_.resize(count);
    orderPlace_.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        cells_[i].x = static_cast<int32_t>((i % columns_) * static_cast<uint32_t>(cellWidth_));
        cells_[i].y = static_cast<int32_t>((i / columns_) * (static_cast<uint32_t>(cellHeight_) + 1));
        cellOrder_[i] = i;
        orderPlace_[i] = i;
    }
    atlasChanged_ = true;
    DropDC();
    return true;
}

void TTFont::Reset()
{
    dc_ = false;
    font_.reset();
    glyphCells_.clear();
    cells_.clear();
    cellOrder_.clear();
    orderPlace_.clear();
    atlas_.Clear();
    ranges_.clear();
    abcWidths_.clear();
    atlasChanged_ = false;
    cellHeight_ = ascent_ = cellWidth_ = spaceWidth_ = shadowExtra_ = 0;
    atlasSize_ = columns_ = rows_ = 0;
    texelScale_ = 0;
    defaultGlyph_ = 0;
}

uint32_t TTFont::GlyphIndex(uint32_t codePoint, uint32_t fallback) const noexcept
{
    if (codePoint == 0x2013)
        codePoint = '-';
    if (codePoint > 0xFFFF)
        return fallback;
    auto after = std::upper_bound(ranges_.begin(), ranges_.end(), codePoint,
                                  [](uint32_t c, const Range& r) { return c < r.first; });
    if (after == ranges_.begin())
        return fallback;
    const Range& range = *(after - 1);
    return codePoint <= range.last ? range.firstGlyph + (codePoint - range.first) : fallback;
}

int32_t TTFont::MeasureText(std::string_view text) const
{
    int64_t total = 0;
    int64_t trailing = 0;
    const char* at = text.data();
    const char* end = text.data() + text.size();
    while (at < end) {
        int length = 0;
        const uint32_t c = DecodeUTF8Char(at, end, &length);
        at += length > 0 ? length : 1;
        if (c < 32 && c != '\t')
            continue;
        if (c <= 0xFFFF && IsSpace(c)) {
            total += spaceWidth_;
            trailing += spaceWidth_;
            continue;
        }
        const uint32_t glyph = GlyphIndex(c, defaultGlyph_);
        if (glyph >= abcWidths_.size())
            continue;
        const GlyphWidths& w = abcWidths_[glyph];
        total += int64_t{w.a} + w.b + w.c;
        trailing = w.c;
    }
    return static_cast<int32_t>(total - trailing);
}

bool TTFont::EnsureDC()
{
    if (dc_)
        return true;
    if (!platform_ || !platform_->CreateDC())
        return false;
    dc_ = true;
    return true;
}

uint32_t TTFont::DrawnCharacter(uint32_t character) const noexcept
{
    // What the widths were taken from: the dash for the en dash, the
    // question mark for whatever no range holds.
    if (GlyphIndex(character, kNoGlyph) == kNoGlyph)
        return '?';
    return character == 0x2013 ? '-' : character;
}

void TTFont::CountUse(uint32_t cell)
{
    ++cells_[cell].useCount;
    // Past every cell used as often or less, so the least used (and of
    // those the longest unused) stays in front.
    uint32_t place = orderPlace_[cell];
    while (place + 1 < cellOrder_.size() && cells_[cellOrder_[place + 1]].useCount <= cells_[cell].useCount) {
        const uint32_t next = cellOrder_[place + 1];
        cellOrder_[place] = next;
        orderPlace_[next] = place;
        ++place;
    }
    cellOrder_[place] = cell;
    orderPlace_[cell] = place;
}

void TTFont::ConvertCell(const Cell& cell, int32_t width)
{
    const bool lined = (style_ & (kUnderline | kStrikeOut)) != 0;
    for (int32_t y = cell.y + cellHeight_ - 1; y >= cell.y; --y) {
        const uint32_t row = static_cast<uint32_t>(y);
        for (int32_t x = cell.x; x < cell.x + width; ++x) {
            const uint32_t col = static_cast<uint32_t>(x);
            const uint32_t pixel = atlas_.GetPixel(col, row);
            if (pixel != 0) {
                atlas_.SetPixel(col, row, pixel | 0xFF000000u);
            } else if (style_ <= 63) {
                atlas_.SetPixel(col, row, 0x00FFFFFFu);
            } else if ((style_ & kShadow) && x > cell.x && y > cell.y) {
                // Not converted yet: rows go upward, so the neighbour above
                // still holds what was drawn.
                const uint32_t lit = atlas_.GetPixel(col - 1, row - 1);
                if (lit != 0)
                    atlas_.SetPixel(col, row, (lit & 0xFFu) << 24);
            }
        }
        if (lined) {
            const int32_t b = width - shadowExtra_;
            if (b > 0)
                atlas_.SetPixel(static_cast<uint32_t>(cell.x + b), row,
                                atlas_.GetPixel(static_cast<uint32_t>(cell.x + b - 1), row));
            if (cell.x > 0)
                atlas_.SetPixel(static_cast<uint32_t>(cell.x - 1), row, atlas_.GetPixel(static_cast<uint32_t>(cell.x), row));
        }
    }
}

bool TTFont::GetGlyph(uint32_t character, Glyph& out)
{
    out = Glyph();
    if (character < 32 && character != '\t')
        return true;
    if (character <= 0xFFFF && IsSpace(character)) {
        if (!(style_ & (kUnderline | kStrikeOut))) {
            out.drawnWidth = spaceWidth_;
            return true;
        }
        character = ' ';
    }
    if (character == 0x2019)
        character = '\'';
    const uint32_t glyph = GlyphIndex(character, defaultGlyph_);
    if (glyph >= abcWidths_.size() || cells_.empty())
        return false;
    const GlyphWidths& widths = abcWidths_[glyph];
    if (widths.a + widths.b + widths.c == 0)
        return true;

    uint32_t index;
    if (auto found = glyphCells_.find(character); found != glyphCells_.end()) {
        index = found->second;
    } else {
        if (!EnsureDC())
            return false;
        // The least-used cell takes the new glyph, whatever it held: a
        // full atlas gives up its least-used glyph rather than refusing
        // every new character from then on.
        index = cellOrder_.front();
        Cell& cell = cells_[index];
        if (cell.character != 0)
            glyphCells_.erase(cell.character);
        cell.character = character;
        cell.glyph = glyph;
        cell.useCount = 0;
        const Nyx::Bitmap::Rect area{cell.x, cell.y, cellWidth_, cellHeight_};
        // The cell's background is drawn black, as under an opaque text
        // background, so nothing of the glyph it held stays.
        for (int32_t y = 0; y < cellHeight_; ++y)
            for (int32_t x = 0; x < cellWidth_; ++x)
                atlas_.SetPixel(static_cast<uint32_t>(cell.x + x), static_cast<uint32_t>(cell.y + y), 0);
        if (!platform_->TextOut(*font_, atlas_, cell.x - widths.a, cell.y, DrawnCharacter(character), area)) {
            cell.character = 0;
            return true;
        }
        ConvertCell(cell, widths.b + shadowExtra_);
        glyphCells_[character] = index;
        atlasChanged_ = true;
    }
    CountUse(index);
    const Cell& cell = cells_[index];
    out.left = static_cast<float>(cell.x) * texelScale_;
    out.top = static_cast<float>(cell.y) * texelScale_;
    out.width = static_cast<float>(widths.b + shadowExtra_) * texelScale_;
    out.height = static_cast<float>(cellHeight_) * texelScale_;
    out.leading = widths.a;
    out.drawnWidth = widths.b + shadowExtra_;
    out.trailing = widths.c;
    return true;
}

void TTFont::CopyGlyph(Nyx::Bitmap& dest, int32_t x, int32_t y, const Glyph& glyph) const
{
    const float w = static_cast<float>(atlas_.GetWidth());
    const float h = static_cast<float>(atlas_.GetHeight());
    const Nyx::Bitmap::Rect rect{static_cast<int32_t>(glyph.left * w), static_cast<int32_t>(glyph.top * h),
                                 static_cast<int32_t>(glyph.width * w), static_cast<int32_t>(glyph.height * h)};
    dest.Image(atlas_, x, y, rect, Nyx::Bitmap::kModeBlend);
}
