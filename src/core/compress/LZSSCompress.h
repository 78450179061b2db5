// The LZSS codec: one stream format with ten levels.
//
// A stream starts with one header byte, (mode << 4) | level. Level 0 stores
// the data; levels 1-6 send literals, raw literal runs and LZ77 matches
// steered by 32-bit flag words; levels 7-9 send the same literals and matches
// through two adaptive Huffman models. The mode picks the distance width.
// There is no end marker in the flag-word form: the stream ends with its
// source, so the caller must pass the exact stream length.
#pragma once

#include <cstdint>
#include <vector>

#include "core/compress/AdaptiveHuffman.h"
#include "core/compress/Compress.h"

namespace Nyx {

class LZSSCompress : public Compress {
public:
    static constexpr uint32_t kDefaultLevel = 5;
    static constexpr uint32_t kMaxLevel = 9;
    static constexpr uint32_t kMinMatch = 3;
    static constexpr uint32_t kMaxMatch = 258;
    // Sources this short are always stored.
    static constexpr uint32_t kStoreAtMost = 6;
    // A pending literal run is flushed at this length; in modes 1 and 2 a run
    // of kMinRawRun or more goes out as one raw run.
    static constexpr uint32_t kMaxRun = 258;
    static constexpr uint32_t kMinRawRun = 6;
    // Symbols of the literal/length model: bytes, 16 length classes, end.
    static constexpr uint32_t kLengthSymbols = 256;
    static constexpr uint32_t kEndSymbol = 272;
    static constexpr uint32_t kLiteralModelSymbols = 273;
    // No mode reaches further back than this.
    static constexpr uint32_t kHistory = 1u << 14;

    struct ModeInfo {
        uint8_t distanceBits;
        uint8_t distanceHighSymbols;  // Huffman levels: model B's size
        uint8_t distanceLowBits;      // Huffman levels: raw low distance bits
        uint8_t lengthBits;           // flag-word levels: length field width
    };
    static constexpr ModeInfo kModes[3] = {{8, 16, 4, 3}, {12, 64, 6, 4}, {14, 64, 8, 2}};

    struct LevelInfo {
        uint8_t mode;
        uint16_t goodLength;  // a match this long ends the search
        bool huffman;
    };
    static constexpr LevelInfo kLevels[10] = {
        {0, 0, false},    {1, 8, false},   {1, 16, false},  {1, 32, false}, {2, 64, false},
        {2, 128, false},  {2, 256, false}, {2, 64, true},   {2, 128, true}, {2, 256, true},
    };

    // Length classes of the Huffman levels: (length - 3) = base + extra bits.
    struct LengthClass {
        uint8_t base;
        uint8_t extraBits;
    };
    static constexpr LengthClass kLengthClasses[16] = {
        {0, 0},  {1, 0},  {2, 0},  {3, 0},  {4, 0},  {5, 1},  {7, 1},   {9, 2},
        {13, 2}, {17, 3}, {25, 3}, {33, 4}, {49, 4}, {65, 5}, {97, 5}, {129, 7},
    };

    LZSSCompress() = default;
    ~LZSSCompress() override = default;

    // Levels above 9 count as 9. Level 0 and sources of 6 bytes or fewer
    // are stored; when the coded form does not fit, the stored form is
    // written in its place.
    bool CompressData(CompressOutput& dst, const uint8_t* src, uint32_t size, uint32_t level) override;
    // Refuses bad headers, distances of 0 or before the first byte, runs
    // and fields past the end of the source, lengths past 258 and output
    // past the destination's limit.
    bool DecompressData(CompressOutput& dst, const uint8_t* src, uint32_t size) override;
    // The same checks, but the output goes to the sink in pieces as it is
    // decoded, and only the match history (kHistory bytes) and one piece
    // are held: a stream of any output size decodes in bounded memory.
    // False when the stream is damaged or the sink refuses a piece.
    bool DecompressTo(DecompressSink& sink, const uint8_t* src, uint32_t size);
    bool Init() override { return true; }
    void Reset() override;

    // The level of the last compression (default 5).
    uint32_t Level() const noexcept { return level_; }
    // The header byte CompressData writes for a source of `size` bytes.
    static uint8_t HeaderFor(uint32_t size, uint32_t level) noexcept;

private:
    bool WriteStored(CompressOutput& dst, uint32_t start, const uint8_t* src, uint32_t size);
    // Each over an output that keeps the match history: the destination
    // itself, or a window in front of a sink.
    template <class Out>
    bool Decode(Out& out, const uint8_t* src, uint32_t size);
    template <class Out>
    bool DecodeFlagWords(Out& out, const uint8_t* src, uint32_t size, uint32_t mode);
    template <class Out>
    bool DecodeHuffman(Out& out, const uint8_t* src, uint32_t size, uint32_t mode);

    uint32_t level_ = kDefaultLevel;
    // Match-finder work tables, sized from the history length: the newest
    // position of each hash value, and each position's older neighbour.
    std::vector<uint16_t> head_;
    std::vector<uint16_t> prev_;
    AdaptiveHuffman literals_;
    AdaptiveHuffman distances_;
};

}  // namespace Nyx
