// The stand-in daemon's request frames over arbitrary bytes: the input is a
// run of frames as a client sends them (number, transaction id, length,
// payload), each served by the asset store of a small data root. Whatever
// the bytes, a frame gets a reply and at most one results notification, and
// nothing crashes, hangs or reads past the payload.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include <unistd.h>

#include "FuzzDataRoot.h"
#include "core/streams/TStream.h"
#include "kad/client/DaemonWire.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/StoreRequests.h"

namespace {

namespace fs = std::filesystem;

struct Root {
    std::string path;
    std::unique_ptr<kaddaemon::AssetStore> store;
    bool changed = true;

    Root()
    {
        char templ[] = "/tmp/daemon_frame_fuzz.XXXXXX";
        const char* made = ::mkdtemp(templ);
        if (!made)
            std::abort();
        path = made;
    }
    ~Root()
    {
        std::error_code ec;
        fs::remove_all(path, ec);
    }

    // The same two assets before every input that follows a change.
    kaddaemon::AssetStore& Fresh()
    {
        if (changed) {
            LayOutFuzzDataRoot(path);
            store = std::make_unique<kaddaemon::AssetStore>(path);
            if (!store->Open())
                std::abort();
            changed = false;
        }
        return *store;
    }
};

bool Changes(uint32_t number)
{
    switch (number) {
    case 30: case 33: case 34: case 35: case 36: case 39: case 40: case 54:
        return true;
    default:
        return false;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Root root;
    kaddaemon::AssetStore& store = root.Fresh();

    TBuffer input;
    input.WriteBytes(data, static_cast<uint32_t>(size));
    input.Rewind();
    for (int frame = 0; frame < 16; ++frame) {
        DaemonWire::FrameHeader header;
        if (!DaemonWire::ReadFrameHeader(input, header))
            break;
        // A connection would wait for the rest; here the payload is what
        // the input still holds.
        uint32_t left = static_cast<uint32_t>(size) - input.Tell();
        uint32_t length = header.length < left ? header.length : left;
        std::string payload(length, '\0');
        input.ReadBytes(payload.data(), length);

        TBuffer request;
        request.WriteBytes(payload.data(), length);
        request.Rewind();
        TBuffer reply;
        int notes = 0;
        kaddaemon::ServeStoreRequest(store, header.word, header.second, request, reply,
                                     [&](uint32_t kind, const void*, uint32_t) {
                                         if (kind != 3)
                                             std::abort();
                                         ++notes;
                                     });
        if (notes > 1)
            std::abort();
        if (Changes(header.word))
            root.changed = true;
    }
    return 0;
}
