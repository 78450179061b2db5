#include "kaddaemon/LocalDataRequests.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "config/formats/BinaryConfig.h"
#include "config/kuid/KUID.h"
#include "core/streams/TStream.h"
#include "kaddaemon/RequestTable.h"
#include "nyx/base/DynamicBuffer.h"
#include "nyx/base/PString.h"

namespace kaddaemon {

namespace {

constexpr uint32_t kGetLocalData = 121;
constexpr uint32_t kSetLocalData = 122;
// Local data is meant to be small: a file past this is taken for no data.
constexpr uintmax_t kMaxFileSize = 16u << 20;

struct LocalDataState {
    std::mutex lock;
    std::filesystem::path folder;

    std::filesystem::path FileOf(const KUID& kuid, std::string_view key) const
    {
        static const char kHex[] = "0123456789abcdef";
        std::string name = std::to_string(kuid.user) + "_" + std::to_string(kuid.content) + "_";
        for (char c : key) {
            const auto byte = static_cast<unsigned char>(std::tolower(static_cast<unsigned char>(c)));
            name += kHex[byte >> 4];
            name += kHex[byte & 15];
        }
        return folder / (name + ".soup");
    }
};

void ReadKey(TStream& request, KUID& kuid, Nyx::PString& key)
{
    ReadKUID(request, kuid);
    request.ReadPString(key);
}

}  // namespace

void RegisterLocalDataRequests(RequestTable& table, const std::string& root)
{
    auto state = std::make_shared<LocalDataState>();
    state->folder = std::filesystem::path(root) / "localdata";

    table.Register(kGetLocalData, [state](RequestContext&, TStream& request, TStream& reply) {
        KUID kuid;
        Nyx::PString key;
        ReadKey(request, kuid, key);
        std::vector<char> bytes;
        {
            std::lock_guard<std::mutex> hold(state->lock);
            const std::filesystem::path file = state->FileOf(kuid, key.View());
            std::error_code error;
            const uintmax_t size = std::filesystem::file_size(file, error);
            std::ifstream in(file, std::ios::binary);
            if (!error && size <= kMaxFileSize)
                bytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        }
        // What was stored was checked when it came; a file that is gone
        // or empty reads as no data.
        if (bytes.empty())
            WriteBinaryConfig(reply, ChunkRef());
        else
            reply.WriteRaw(bytes.data(), static_cast<uint32_t>(bytes.size()));
    });
    table.Register(kSetLocalData, [state](RequestContext&, TStream& request, TStream&) {
        KUID kuid;
        Nyx::PString key;
        ReadKey(request, kuid, key);
        ChunkRef soup;
        ReadBinaryConfig(request, soup);
        TBuffer out;
        WriteBinaryConfig(out, soup);
        const Nyx::DynamicBuffer* buffer = out.GetBuffer();
        std::lock_guard<std::mutex> hold(state->lock);
        std::error_code ignored;
        std::filesystem::create_directories(state->folder, ignored);
        std::ofstream(state->FileOf(kuid, key.View()), std::ios::binary | std::ios::trunc)
            .write(reinterpret_cast<const char*>(buffer->Data()), static_cast<std::streamsize>(buffer->DataLength()));
    });
}

}  // namespace kaddaemon
