// Building package entries and their "files" trees for the package tests,
// and looking at what extraction left on disk.
#pragma once

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "config/tree/TDBContainerTag.h"
#include "core/compress/LZSSCompress.h"
#include "kad/packages/CDP.h"

namespace packagetest {

inline ChunkRef NewContainer() { return ChunkRef(new TDBContainerTag); }

// Appends a data chunk (a file) holding the bytes; names may repeat.
inline void AddFile(const ChunkRef& folder, std::string_view name, std::string_view bytes)
{
    folder->AddChild(Nyx::PString(name),
                     folder->CreateChunk(ACS_TYPE_RAW, ACSRawData::Copy(bytes.data(), static_cast<uint32_t>(bytes.size()))));
}

inline void AddFolder(const ChunkRef& folder, std::string_view name, const ChunkRef& child)
{
    folder->AddChild(Nyx::PString(name), child);
}

// The bytes as a compressed file chunk stores them: the u32 little-endian
// prefix (the size, unless the test says otherwise), then the LZSS stream.
inline std::string Compressed(std::string_view bytes, uint32_t level = 5, int64_t prefix = -1)
{
    const uint32_t size = static_cast<uint32_t>(bytes.size());
    const uint32_t p = prefix < 0 ? size : static_cast<uint32_t>(prefix);
    std::string out = {char(p), char(p >> 8), char(p >> 16), char(p >> 24)};
    std::vector<uint8_t> stream(size + 16);
    Nyx::LZSSCompress codec;
    const int64_t n = codec.CompressBlock(stream.data(), static_cast<uint32_t>(stream.size()), bytes.data(), size,
                                          level);
    EXPECT_GT(n, 0);
    out.append(reinterpret_cast<const char*>(stream.data()), static_cast<size_t>(n > 0 ? n : 0));
    return out;
}

// An entry for the asset: its config tags are the caller's to add.
inline ChunkRef Entry(const KUID& kuid, const ChunkRef& files = nullptr, const char* compression = nullptr)
{
    ChunkRef entry = NewContainer();
    TDBContainerTag::SetKUID(entry, "kuid", kuid);
    TDBContainerTag::SetString(entry, "kind", "scenery");
    if (files) {
        ChunkRef f = files;
        TDBContainerTag::SetChildContainer(entry, "files", f);
    }
    if (compression)
        TDBContainerTag::SetString(entry, "compression", compression);
    return entry;
}

// Every path below the folder, relative to it, as the file system has them
// (links are listed, never followed); folders end in "/".
inline std::set<std::string> TreeOf(const std::string& folder)
{
    std::set<std::string> out;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(folder, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::string rel = std::filesystem::relative(it->path(), folder, ec).string();
        if (it->is_directory() && !it->is_symlink())
            rel += "/";
        out.insert(rel);
    }
    return out;
}

inline bool IsLink(const std::string& path)
{
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

}  // namespace packagetest
