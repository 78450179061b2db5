// What the script API tests lay out for an asset: the system scripts the
// build copied, and a config in its binary form.
#pragma once

#include <filesystem>
#include <string>

#include "config/formats/BinaryConfig.h"
#include "config/tree/ACSChunk.h"
#include "core/streams/TStream.h"

namespace scriptapitest {

inline std::filesystem::path BuiltScripts()
{
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().parent_path() / "scripts";
}

inline std::string ConfigBytes(const ChunkRef& config)
{
    TBuffer out;
    WriteBinaryConfig(out, config);
    Nyx::DynamicBuffer* b = out.GetBuffer();
    return std::string(reinterpret_cast<const char*>(b->Data()), b->DataLength());
}

}  // namespace scriptapitest
