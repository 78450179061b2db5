#include "scriptapi/image/TTFontCache.h"

namespace {

bool Same(const TTFontCache::Description& a, const TTFontCache::Description& b)
{
    return a.bold == b.bold && a.italic == b.italic && a.underline == b.underline && a.strikeOut == b.strikeOut &&
           a.shadow == b.shadow && a.antialiased == b.antialiased && a.height == b.height &&
           a.charsetName == b.charsetName && a.faceName == b.faceName;
}

uint32_t StyleOf(const TTFontCache::Description& d)
{
    return (d.bold ? TTFont::kBold : 0) | (d.italic ? TTFont::kItalic : 0) | (d.underline ? TTFont::kUnderline : 0) |
           (d.strikeOut ? TTFont::kStrikeOut : 0) | (d.shadow ? TTFont::kShadow : 0) |
           (d.antialiased ? TTFont::kAntialiased : 0);
}

}  // namespace

TTFontCache& TTFontCache::Instance()
{
    static TTFontCache cache;
    return cache;
}

TTFont* TTFontCache::Get(const Description& description)
{
    TTFontCache& cache = Instance();
    for (size_t i = 0; i < cache.count_; ++i) {
        Record& record = (*cache.blocks_[i / kRecordsPerBlock])[i % kRecordsPerBlock];
        if (Same(record.description, description))
            return &record.font;
    }
    // Set up in the slot it will keep (fonts do not move), which stays free
    // for the next request when the set-up fails.
    if (cache.count_ == cache.blocks_.size() * kRecordsPerBlock)
        cache.blocks_.push_back(std::make_unique<Block>());
    Record& record = (*cache.blocks_[cache.count_ / kRecordsPerBlock])[cache.count_ % kRecordsPerBlock];
    const char* charset = description.charsetName.Empty() ? nullptr : description.charsetName.c_str();
    if (!record.font.Init(charset, description.faceName.c_str(), description.height, StyleOf(description)))
        return nullptr;
    record.description = description;
    ++cache.count_;
    return &record.font;
}

TTFont* TTFontCache::Get(const Nyx::PString& faceName, int32_t height)
{
    Description description;
    description.height = height;
    description.faceName = faceName;
    return Get(description);
}

size_t TTFontCache::Count() noexcept { return Instance().count_; }
