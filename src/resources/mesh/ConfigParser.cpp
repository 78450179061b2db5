#include "resources/mesh/ConfigParser.h"

#include "config/formats/ConfigText.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "nyx/base/DynamicBuffer.h"

namespace Nyx {

namespace {

uint32_t ParseStream(TStream& stream, ChunkRef& root)
{
    root = nullptr;
    ChunkRef read;
    if (!ReadConfigText(read, stream, false))
        return ConfigParser::kFormatError;
    if (!read)
        return ConfigParser::kOk;
    static const PString kVersionTag("version");
    if (TDBContainerTag::GetChildType(read, kVersionTag) == ACS_TYPE_NONE)
        return ConfigParser::kFormatError;
    const int32_t version = TDBContainerTag::GetInt(read, kVersionTag, 0);
    if (version < 1 || version > ConfigParser::kVersion)
        return ConfigParser::kVersionError;
    root = std::move(read);
    return ConfigParser::kOk;
}

}  // namespace

uint32_t ConfigParser::Parse(const PString& base, const File::Path& path, ChunkRef& root)
{
    root = nullptr;
    TFile stream;
    stream.OpenIn(base, path, File::kModeRead);
    if (!stream.IsOpen())
        return kOpenError;
    return ParseStream(stream, root);
}

uint32_t ConfigParser::ParseText(std::string_view text, ChunkRef& root)
{
    TBuffer stream;
    stream.GetBuffer()->Write(text.data(), static_cast<uint32_t>(text.size()), 1);
    stream.GetBuffer()->Seek(0);
    return ParseStream(stream, root);
}

}  // namespace Nyx
