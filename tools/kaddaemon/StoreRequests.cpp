#include "kaddaemon/StoreRequests.h"

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "config/formats/BinaryConfig.h"
#include "config/kuid/KUID.h"
#include "core/streams/TStream.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KUIDListWire.h"
#include "kaddaemon/AssetStore.h"
#include "kaddaemon/DaemonConnection.h"
#include "kaddaemon/PackageRequests.h"
#include "kaddaemon/RequestTable.h"

namespace kaddaemon {
namespace {

constexpr uint32_t kNumbers[] = {0,  2,  20, 21, 23, 26, 27, 28, 30, 31, 32,
                                 33, 34, 35, 36, 42, 43, 50, 54, 90, 181, 253};

void SendError(const NoteSink& notes, uint32_t transactionId, const std::string& text)
{
    SendErrors(notes, transactionId, {text});
}

void WriteNameAndPath(TStream& out, const std::string& name, const std::string& path)
{
    out.WritePString(Nyx::PString(name));
    out.WriteString(Nyx::AnsiString(path));
}

void WriteList(TStream& out, const std::vector<KUID>& kuids)
{
    WriteKUIDList(out, std::span<const KUID>(kuids.data(), kuids.size()));
}

// A KUID list payload; a count larger than the bytes behind it is cut to
// the whole KUIDs there are.
std::vector<KUID> ReadList(TStream& in)
{
    uint32_t count;
    in.ReadInt32(count, 0u);
    uint32_t room = StreamBytesLeft(in) / KUID::kPackedSize;
    std::vector<KUID> out;
    out.reserve(count < room ? count : room);
    for (uint32_t i = 0; i < count && i < room; ++i) {
        KUID kuid;
        ReadKUID(in, kuid);
        out.push_back(kuid);
    }
    return out;
}

// Gives each connection that opens or creates assets an owner id of its
// own, and releases what it holds when it ends.
class Owners : public std::enable_shared_from_this<Owners> {
public:
    explicit Owners(std::shared_ptr<AssetStore> store) : store_(std::move(store)) {}

    // On the connection's reader thread.
    uint64_t Of(DaemonConnection& connection)
    {
        std::lock_guard<std::mutex> hold(lock_);
        auto [it, added] = owners_.try_emplace(&connection, next_);
        if (added) {
            ++next_;
            connection.AtEnd([self = shared_from_this(), c = &connection, owner = it->second]() {
                self->store_->ReleaseOwner(owner);
                std::lock_guard<std::mutex> hold(self->lock_);
                self->owners_.erase(c);
            });
        }
        return it->second;
    }

private:
    std::shared_ptr<AssetStore> store_;
    std::mutex lock_;
    std::map<DaemonConnection*, uint64_t> owners_;
    uint64_t next_ = 1;
};

}  // namespace

bool ServeStoreRequest(AssetStore& store, uint32_t number, uint32_t transactionId, TStream& request, TStream& reply,
                       const NoteSink& notes, uint64_t owner)
{
    KUID kuid;
    switch (number) {
    case 0:  // keep-alive
        return true;
    case 2: {
        std::unique_ptr<KADFilterElement> filter = ReadFilterElement(request);
        if (!filter) {
            SendError(notes, transactionId, "The search filter does not read.");
            WriteList(reply, {});
            return true;
        }
        WriteList(reply, store.Search(filter.get()));
        return true;
    }
    case 20: {
        ReadKUID(request, kuid);
        ChunkRef config = store.Config(kuid);
        if (config)
            WriteBinaryConfig(reply, config);
        return true;
    }
    case 21: {
        uint32_t mask;
        ReadKUID(request, kuid);
        request.ReadInt32(mask, 0u);
        WriteAssetInfo(reply, store.Record(kuid));
        return true;
    }
    case 23: {
        uint8_t editing;
        ReadKUID(request, kuid);
        request.ReadUInt8(editing, 0);
        std::string name, path;
        store.NameAndPath(kuid, editing != 0, name, path);
        WriteNameAndPath(reply, name, path);
        return true;
    }
    case 26:
        ReadKUID(request, kuid);
        WriteKUID(reply, store.Resolve(kuid));
        return true;
    case 27:
        ReadKUID(request, kuid);
        WriteKUID(reply, store.Latest(kuid));
        return true;
    case 28:
        ReadKUID(request, kuid);
        reply.WriteString(Nyx::AnsiString(store.Description(kuid)));
        return true;
    case 30: {
        uint8_t forEdit;
        ReadKUID(request, kuid);
        request.ReadUInt8(forEdit, 0);
        std::string name, path, error;
        uint64_t handle = store.OpenAsset(kuid, forEdit != 0, name, path, error, owner);
        if (handle == AssetStore::kNoHandle)
            SendError(notes, transactionId, error);
        reply.WriteUInt64(handle);
        WriteNameAndPath(reply, name, path);
        return true;
    }
    case 31: {
        uint64_t handle;
        request.ReadUInt64(handle, AssetStore::kNoHandle);
        store.CloseHandle(handle);
        return true;
    }
    case 32: {
        uint64_t handle;
        request.ReadUInt64(handle, AssetStore::kNoHandle);
        std::string name, path;
        store.HandleFolder(handle, name, path);
        WriteNameAndPath(reply, name, path);
        return true;
    }
    case 33: {
        uint64_t handle;
        request.ReadUInt64(handle, AssetStore::kNoHandle);
        AssetStore::Outcome outcome = store.Revert(handle);
        if (!outcome.ok)
            SendError(notes, transactionId, outcome.error);
        reply.WriteBool(outcome.ok);
        return true;
    }
    case 34: {
        uint64_t handle;
        uint32_t mode;
        request.ReadUInt64(handle, AssetStore::kNoHandle);
        request.ReadInt32(mode, 0u);
        AssetStore::Outcome outcome = store.Commit(handle);
        if (!outcome.ok)
            SendError(notes, transactionId, outcome.error);
        reply.WriteBool(outcome.ok);
        reply.WriteBool(false);
        return true;
    }
    case 35: {
        uint8_t flag;
        Nyx::String name;
        ReadKUID(request, kuid);
        request.ReadUInt8(flag, 0);
        request.ReadString(name);
        std::string folder, error = "The request to create an asset is incomplete.";
        // A cut-short request reads as the null KUID, which would make up a
        // new asset nobody asked for.
        uint64_t handle = request.GetError() != 0 ? AssetStore::kNoHandle
                                                  : store.Create(kuid, name.c_str(), folder, error, owner);
        if (handle == AssetStore::kNoHandle) {
            SendError(notes, transactionId, error);
            reply.WriteUInt64(handle);
            WriteKUID(reply, kuid);
            WriteNameAndPath(reply, std::string(), std::string());
            return true;
        }
        reply.WriteUInt64(handle);
        WriteKUID(reply, kuid);
        WriteNameAndPath(reply, name.c_str(), folder);
        return true;
    }
    case 36: {
        uint8_t flag;
        ReadKUID(request, kuid);
        request.ReadUInt8(flag, 0);
        AssetStore::Outcome outcome = store.Delete(kuid);
        if (!outcome.ok)
            SendError(notes, transactionId, outcome.error);
        reply.WriteBool(outcome.ok);
        return true;
    }
    case 42:
        WriteList(reply, store.Dependencies(ReadList(request)));
        return true;
    case 43:
        ReadKUID(request, kuid);
        WriteList(reply, store.Obsoletes(kuid));
        return true;
    case 50: {
        uint8_t favourite;
        ReadKUID(request, kuid);
        request.ReadUInt8(favourite, 0);
        AssetStore::Outcome outcome = store.SetFavourite(kuid, favourite != 0);
        if (!outcome.ok)
            SendError(notes, transactionId, outcome.error);
        return true;
    }
    case 54: {
        Nyx::String keywords;
        ReadKUID(request, kuid);
        request.ReadString(keywords);
        // A text over the record's limit reads as the empty text; stored,
        // it would erase the asset's keywords.
        if (request.GetError() != 0) {
            SendError(notes, transactionId, "The keywords do not read.");
            return true;
        }
        // Keywords for an asset the daemon does not know go nowhere, as a
        // keyword file of another root names such assets: no error. One
        // it knows gets an error when the change could not be kept.
        if (!store.IsKnown(kuid))
            return true;
        AssetStore::Outcome outcome = store.SetKeywords(kuid, keywords.c_str());
        if (!outcome.ok)
            SendError(notes, transactionId, outcome.error);
        return true;
    }
    case 90: {
        uint32_t author;
        request.ReadInt32(author, 0u);
        reply.WriteInt32(1);
        reply.WritePString(Nyx::PString(store.AuthorName(static_cast<int32_t>(author))));
        return true;
    }
    case 181:
        reply.WriteBool(true);
        return true;
    case 253:
        reply.WritePString(Nyx::PString(store.BuildsText()));
        return true;
    default:
        return ServePackageRequest(store, number, transactionId, request, reply, notes);
    }
}

void RegisterStoreRequests(RequestTable& table, std::shared_ptr<AssetStore> store)
{
    auto owners = std::make_shared<Owners>(store);
    for (uint32_t number : kNumbers) {
        table.Register(number, [store, owners](RequestContext& context, TStream& request, TStream& reply) {
            const bool opens = context.number == 30 || context.number == 35;
            ServeStoreRequest(*store, context.number, context.transactionId, request, reply,
                              NotesOf(context.connection), opens ? owners->Of(context.connection) : 0);
        });
    }
    RegisterPackageRequests(table, store);
}

}  // namespace kaddaemon
