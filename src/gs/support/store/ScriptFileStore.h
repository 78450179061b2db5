// Holder of one script source in either of its stored forms: the plain text
// (".gs") or the scrambled form (".gse": block-compressed, then XORed with
// a fixed key). The text stays in the form it was loaded in until the other
// is asked for.
//
// ".gse" file: u32 format word, u32 0, u32 data length L (1 to 0x2000000),
// u32 0, then L bytes: the scrambled packed form, which is u32 plain size
// N (1 to 0x4000000) followed by the compressed text.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "nyx/files/File.h"
#include "nyx/base/PString.h"

class ScriptFileStore {
public:
    static constexpr uint32_t kMaxPlainSize = 0x4000000;
    static constexpr uint32_t kMaxStoredSize = 0x2000000;
    static constexpr uint32_t kHeaderSize = 16;
    static constexpr uint32_t kCompressionLevel = 9;
    // The scrambling key: a file scrambled with one key reads back only
    // with the same key, so it never changes.
    static const uint8_t kKey[32];

    ScriptFileStore();
    ScriptFileStore(const ScriptFileStore&) = delete;
    ScriptFileStore& operator=(const ScriptFileStore&) = delete;
    ~ScriptFileStore();

    // Frees the text and clears the paths, the lengths and the format word.
    void Reset();
    // Reset, then an empty prefix and format word 1.
    void Clear();

    // Loads by the extension ("gs" plain, "gse" scrambled; any case) when
    // the file exists. The container, when not empty, is the mount or
    // folder the path is taken in.
    bool Open(const Nyx::PString& container, const Nyx::File::Path& path);
    // Writes by the target's extension ("gse" scrambled, "gs" plain). The
    // file is written beside the target and then renamed over it, so a
    // failed save leaves any old file as it was.
    bool Save(const Nyx::PString& container, const Nyx::File::Path& path);

    // The plain text (unpacked first when needed), NUL-terminated; null
    // when it cannot be unpacked.
    const char* GetText();
    // The plain text's length; 0 when it cannot be unpacked.
    uint32_t GetLength();
    uint32_t GetPrefixLength() const noexcept { return prefixLength_; }
    uint32_t GetFormatWord() const noexcept { return format_; }
    bool IsPacked() const noexcept { return packed_; }

    bool Pack();
    bool Unpack();

    // The text the next load of a ".gs" or the next unpack puts in front of
    // the file's own text; used once, then emptied.
    static void SetPendingPrefix(std::string_view prefix);
    static const std::string& PendingPrefix() noexcept;

private:
    bool ReadPlain(const Nyx::PString& container, const Nyx::File::Path& path);
    bool ReadScrambled(const Nyx::PString& container, const Nyx::File::Path& path);
    bool WriteScrambled();
    bool WritePlain();
    bool WriteReplacing(const void* head, uint32_t headSize);
    // A buffer of prefix + size text bytes (and a NUL), the pending prefix
    // copied to its front and then emptied.
    std::unique_ptr<uint8_t[]> TakePrefixInto(uint32_t size, uint32_t& prefix);
    void Scramble() noexcept;

    Nyx::File::Path path_;
    Nyx::File::Path path2_;
    Nyx::PString container_;
    std::unique_ptr<uint8_t[]> data_;
    bool packed_ = false;
    uint32_t format_ = 0;
    uint32_t dataLength_ = 0;
    uint32_t plainLength_ = 0;
    uint32_t prefixLength_ = 0;
};
