#include "kad/requests/KADRequests.h"

#include <atomic>
#include <string>

#include "config/formats/BinaryConfig.h"
#include "config/tree/TDBContainerTag.h"
#include "core/streams/TStream.h"
#include "kad/requests/AssetRecord.h"
#include "kad/client/KADClient.h"
#include "kad/requests/KADFilterElement.h"
#include "kad/requests/KUIDListWire.h"
#include "kad/client/SpecRegistryHook.h"
#include "kad/packages/CDP.h"
#include "nyx/base/DynamicBuffer.h"

namespace {

bool ClientTransport(uint32_t number, TStream& payload, TStream& reply, KADClientCallback* callback, ResultsLog* log,
                     bool keepLog)
{
    return KADClient::CallDaemon(number, payload, reply, callback, log, keepLog);
}

std::atomic<KADRequests::Transport> g_transport{&ClientTransport};

// The two streams of one request.
struct Call {
    Call() : request(&requestBuffer), reply(&replyBuffer)
    {
        requestBuffer.Reserve(512);
        replyBuffer.Reserve(512);
    }

    // Sends what was written; on success the reply is ready to read.
    bool Send(uint32_t number, KADClientCallback* callback = nullptr, ResultsLog* log = nullptr,
              bool keepLog = false)
    {
        request.Rewind();
        if (!g_transport.load()(number, request, reply, callback, log, keepLog))
            return false;
        reply.Rewind();
        return true;
    }

    Nyx::DynamicBuffer requestBuffer;
    Nyx::DynamicBuffer replyBuffer;
    TBuffer request;
    TBuffer reply;
};

void ReadNameAndPath(TStream& in, Nyx::PString& name, Nyx::File::Path& path)
{
    Nyx::String text;
    in.ReadPString(name);
    in.ReadString(text);
    path = Nyx::File::Path(text);
}

void WriteKUIDs(TStream& out, const KUIDRing& ring) { WriteKUIDList(out, ring); }

Nyx::File::Path WithoutExtension(const Nyx::File::Path& path)
{
    std::string text = path.Str();
    size_t slash = text.rfind('/');
    size_t dot = text.rfind('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        text.erase(dot);
    return Nyx::File::Path(text);
}

// The path with its extension replaced (or added).
Nyx::File::Path WithExtension(const Nyx::File::Path& path, std::string_view extension)
{
    std::string text = WithoutExtension(path).Str();
    text += '.';
    text += extension;
    return Nyx::File::Path(text);
}

// Asks for the KUID the daemon maps kuid to; kuid itself when it does not answer.
KUID AskForKUID(uint32_t number, const KUID& kuid)
{
    Call call;
    WriteKUID(call.request, kuid);
    if (!call.Send(number))
        return kuid;
    KUID out;
    ReadKUID(call.reply, out);
    return out;
}

// Request 21; false, with the record untouched, when no reply came.
bool AskForAssetInfo(const KUID& kuid, AssetRecord& record, uint32_t mask)
{
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteInt32(mask);
    if (!call.Send(KADRequests::kGetAssetInfo))
        return false;
    AssetRecord::Parse(call.reply, record);
    return true;
}

// A handle the daemon opened (or made) for kuid, its folder already known.
AssetHandleRef HandleFor(uint64_t handle, const KUID& kuid, const Nyx::PString& name, const Nyx::File::Path& folder,
                         bool forEdit)
{
    auto* made = new AssetHandle;
    made->handle = handle;
    made->kuid = kuid;
    made->name = name;
    made->folder = folder;
    made->folderKnown = 1;
    return AssetHandleRef(made, forEdit);
}

}  // namespace

void KADRequests::SetTransport(Transport transport) { g_transport.store(transport ? transport : &ClientTransport); }

bool KADRequests::SearchAssets(const KADFilterElement* filter, KUIDRing& out, bool* answered)
{
    if (answered)
        *answered = false;
    Call call;
    // A null filter goes out as its kind 0 and selects everything; a filter
    // that could not be written whole would select more than it says.
    if (!WriteFilterElement(call.request, filter) && filter)
        return false;
    if (!call.Send(kSearchAssets))
        return false;
    if (answered)
        *answered = true;
    return ReadKUIDList(call.reply, out);
}

bool KADRequests::StartRepair(uint32_t mode, ResultsLog* log)
{
    Call call;
    call.request.WriteInt32(mode);
    return call.Send(kStartRepair, nullptr, log, true);
}

bool KADRequests::PollRepair(float& progress, Nyx::String& status, bool* answered)
{
    Call call;
    const bool sent = call.Send(kPollRepair);
    if (answered)
        *answered = sent;
    if (!sent)
        return false;
    bool running = false;
    call.reply.ReadBool(running, false);
    call.reply.ReadFloat(progress, 0.0f);
    call.reply.ReadString(status);
    return running;
}

ChunkRef KADRequests::GetAssetConfig(const KUID& kuid)
{
    if (SpecRegistryHook* registry = KADClient::GetSpecRegistry()) {
        ChunkRef held = registry->FindConfig(kuid);
        if (held)
            return held;
    }
    Call call;
    WriteKUID(call.request, kuid);
    if (!call.Send(kGetAssetConfig))
        return nullptr;
    ChunkRef config;
    if (!ReadBinaryConfig(call.reply, config))
        return nullptr;
    return config;
}

bool KADRequests::GetAssetScriptPath(const KUID& kuid, Nyx::File::Path& path, Nyx::PString& className)
{
    ChunkRef config = GetAssetConfig(kuid);
    if (config.IsNullOrUntyped())
        return false;
    Nyx::PString script = TDBContainerTag::GetString(config, Nyx::PString("script"));
    if (script.Empty())
        script = TDBContainerTag::GetString(config, Nyx::PString("scriptlibrary"));
    path = Nyx::File::Path(script);
    if (!path.Empty())
        path = WithExtension(path, "gs");
    className = TDBContainerTag::GetString(config, Nyx::PString("class"));
    if (className.Empty())
        className = TDBContainerTag::GetString(config, Nyx::PString("scriptclass"));
    if (className.Empty())
        className = Nyx::PString(WithoutExtension(path).View());
    return !path.Empty() && !className.Empty();
}

bool KADRequests::GetAssetInfo(const KUID& kuid, AssetRecord& record, uint32_t mask)
{
    return AskForAssetInfo(kuid, record, mask) && record.known;
}

Nyx::String KADRequests::GetAssetName(const KUID& kuid, bool* answered)
{
    AssetRecord record;
    const bool sent = AskForAssetInfo(kuid, record, AssetRecord::kMaskName);
    if (answered)
        *answered = sent;
    return record.NameOrEmpty();
}

Nyx::String KADRequests::GetAssetKeywords(const KUID& kuid, bool* answered)
{
    AssetRecord record;
    const bool sent = AskForAssetInfo(kuid, record, AssetRecord::kMaskTexts);
    if (answered)
        *answered = sent;
    return record.KeywordsOrEmpty();
}

bool KADRequests::GetAssetInfoFlag9(const KUID& kuid)
{
    AssetRecord record;
    GetAssetInfo(kuid, record, AssetRecord::kMaskFlags);
    return record.Flag9();
}

bool KADRequests::GetAssetInfoFlag11(const KUID& kuid, bool gate)
{
    AssetRecord record;
    GetAssetInfo(kuid, record, AssetRecord::kMaskFlags);
    return record.Flag11(gate);
}

bool KADRequests::GetAssetFilePath(const KUID& kuid, uint8_t flag, Nyx::PString& name, Nyx::File::Path& path)
{
    name = Nyx::PString();
    path = Nyx::File::Path();
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteUInt8(flag);
    if (!call.Send(kGetAssetFilePath))
        return false;
    ReadNameAndPath(call.reply, name, path);
    return true;
}

KUID KADRequests::ResolveKUID(const KUID& kuid) { return AskForKUID(kResolveKUID, kuid); }

KUID KADRequests::GetLatestKUID(const KUID& kuid) { return AskForKUID(kGetLatestKUID, kuid); }

Nyx::String KADRequests::GetAssetDescription(const KUID& kuid)
{
    Call call;
    WriteKUID(call.request, kuid);
    Nyx::String text;
    if (call.Send(kGetAssetDescription))
        call.reply.ReadString(text);
    return text;
}

int32_t KADRequests::GetThumbnail(const KUID& kuid, uint32_t size, Nyx::PString& name, Nyx::File::Path& path,
                                  std::vector<uint8_t>* bytes)
{
    if (bytes)
        bytes->clear();
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteInt32(size);
    if (!call.Send(kGetThumbnail))
        return 0;
    ReadNameAndPath(call.reply, name, path);
    int32_t value = 0;
    call.reply.ReadInt32(value, 0);
    // The count is the daemon's word; only bytes that are there are taken.
    if (bytes && value > 0 && static_cast<uint32_t>(value) <= StreamBytesLeft(call.reply)) {
        bytes->resize(static_cast<uint32_t>(value));
        if (call.reply.ReadBytes(bytes->data(), static_cast<uint32_t>(value)) != static_cast<uint32_t>(value))
            bytes->clear();
    }
    return value;
}

AssetHandleRef KADRequests::OpenAsset(const KUID& kuid, bool forEdit, ResultsLog* log)
{
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteUInt8(forEdit ? 1 : 0);
    uint64_t handle = AssetHandle::kNoHandle;
    Nyx::PString name;
    Nyx::File::Path folder;
    if (call.Send(kOpenAsset, nullptr, log)) {
        call.reply.ReadUInt64(handle, AssetHandle::kNoHandle);
        ReadNameAndPath(call.reply, name, folder);
    }
    if (handle == AssetHandle::kNoHandle)
        return AssetHandleRef();
    return HandleFor(handle, kuid, name, folder, forEdit);
}

void KADRequests::CloseAsset(uint64_t handle)
{
    Call call;
    call.request.WriteUInt64(handle);
    call.Send(kCloseAsset);
}

bool KADRequests::GetAssetFolder(const AssetHandleRef& ref, Nyx::PString& name, Nyx::File::Path& folder)
{
    AssetHandle* handle = ref.Get();
    if (handle && !handle->folderKnown) {
        Call call;
        call.request.WriteUInt64(handle->handle);
        if (call.Send(kGetAssetFolder)) {
            ReadNameAndPath(call.reply, handle->name, handle->folder);
            handle->folderKnown = 1;
        }
    }
    if (handle && handle->folderKnown && !handle->folder.Empty()) {
        name = handle->name;
        folder = handle->folder;
        return true;
    }
    name = Nyx::PString();
    folder = Nyx::File::Path();
    return false;
}

bool KADRequests::RevertAsset(AssetHandleRef ref, ResultsLog* log)
{
    if (!ref.IsValid())
        return false;
    Call call;
    call.request.WriteUInt64(ref->handle);
    bool reverted = false;
    if (call.Send(kRevertAsset, nullptr, log))
        call.reply.ReadBool(reverted, false);
    ref->folderKnown = 0;
    return reverted;
}

bool KADRequests::CommitAsset(AssetHandleRef& ref, uint32_t mode, ResultsLog* log, bool* secondResult)
{
    if (!ref.IsValid())
        return false;
    Call call;
    call.request.WriteUInt64(ref->handle);
    call.request.WriteInt32(mode);
    bool committed = false;
    if (call.Send(kCommitAsset, nullptr, log)) {
        call.reply.ReadBool(committed, false);
        bool second = false;
        call.reply.ReadBool(second, false);
        if (secondResult)
            *secondResult = second;
    }
    ref->folderKnown = 0;
    if (committed)
        ref.SetEdit(false);
    return committed;
}

AssetHandleRef KADRequests::CreateAsset(const KUID& kuid, uint8_t flag, const Nyx::String& name)
{
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteUInt8(flag);
    call.request.WriteString(Nyx::AnsiString(name));
    uint64_t handle = AssetHandle::kNoHandle;
    KUID created = KUID::Null;
    Nyx::PString folderName;
    Nyx::File::Path folder;
    if (call.Send(kCreateAsset)) {
        call.reply.ReadUInt64(handle, AssetHandle::kNoHandle);
        ReadKUID(call.reply, created);
        ReadNameAndPath(call.reply, folderName, folder);
    }
    if (handle == AssetHandle::kNoHandle)
        return AssetHandleRef();
    return HandleFor(handle, created, folderName, folder, true);
}

bool KADRequests::DeleteAsset(const KUID& kuid, uint8_t flag, ResultsLog* log)
{
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteUInt8(flag);
    bool deleted = false;
    if (call.Send(kDeleteAsset, nullptr, log))
        call.reply.ReadBool(deleted, false);
    return deleted;
}

bool KADRequests::ValidateAsset(const Nyx::PString& name, const Nyx::File::Path& folder, ResultsLog* log,
                                bool* answered)
{
    Call call;
    call.request.WritePString(name);
    call.request.WriteString(Nyx::AnsiString(folder.Str()));
    bool valid = false;
    const bool sent = call.Send(kValidateAsset, nullptr, log);
    if (answered)
        *answered = sent;
    if (sent)
        call.reply.ReadBool(valid, false);
    return valid;
}

bool KADRequests::InstallFromFolder(const Nyx::File::Path& folder, uint32_t mode, KUID& kuid,
                                    KADClientCallback* callback, ResultsLog* log)
{
    Call call;
    call.request.WriteString(Nyx::AnsiString(folder.Str()));
    call.request.WriteInt32(mode);
    bool installed = false;
    if (call.Send(kInstallFromFolder, callback, log)) {
        ReadKUID(call.reply, kuid);
        call.reply.ReadBool(installed, false);
    }
    return installed;
}

bool KADRequests::InstallCDP(const Nyx::File::Path& file, uint32_t mode, int32_t& value, KADClientCallback* callback,
                             ResultsLog* log)
{
    Call call;
    call.request.WriteString(Nyx::AnsiString(file.Str()));
    call.request.WriteInt32(mode);
    bool installed = false;
    if (call.Send(kInstallCDP, callback, log)) {
        call.reply.ReadInt32(value, 0);
        call.reply.ReadBool(installed, false);
    }
    return installed;
}

bool KADRequests::GetDependencies(const KUIDRing& kuids, KUIDRing& out)
{
    Call call;
    WriteKUIDs(call.request, kuids);
    if (call.Send(kGetDependencies))
        ReadKUIDList(call.reply, out);
    return true;
}

bool KADRequests::GetDependencyList(const KUID& kuid, KUIDRing& out)
{
    KUIDRing one;
    one.Append(kuid);
    return GetDependencies(one, out);
}

bool KADRequests::GetObsoletes(const KUID& kuid, KUIDRing& out)
{
    Call call;
    WriteKUID(call.request, kuid);
    if (call.Send(kGetObsoletes))
        ReadKUIDList(call.reply, out);
    return true;
}

void KADRequests::SetFavorite(const KUID& kuid, bool on)
{
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteUInt8(on ? 1 : 0);
    call.Send(kSetFavorite);
}

bool KADRequests::KeywordsFitRecord(const Nyx::String& keywords)
{
    return Nyx::AnsiString(keywords).Size() <= TStream::kMaxStringRecord;
}

bool KADRequests::SetKeywords(const KUID& kuid, const Nyx::String& keywords, ResultsLog* log)
{
    if (!KeywordsFitRecord(keywords))
        return false;
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteString(Nyx::AnsiString(keywords));
    return call.Send(kSetKeywords, nullptr, log);
}

bool KADRequests::GetAuthorName(int32_t authorId, Nyx::PString& name)
{
    Call call;
    call.request.WriteInt32(authorId);
    if (!call.Send(kGetAuthorName))
        return false;
    int32_t status = 0;
    call.reply.ReadInt32(status, 0);
    call.reply.ReadPString(name);
    return true;
}

bool KADRequests::QueryAuthorName(int32_t userId, int32_t& value, Nyx::PString& name)
{
    value = -1;
    name = Nyx::PString();
    Call call;
    call.request.WriteInt32(userId);
    if (!call.Send(kGetAuthorName))
        return false;
    call.reply.ReadInt32(value, -1);
    Nyx::PString read;
    call.reply.ReadPString(read);
    if (call.reply.GetError() == 0)
        name = read;
    return true;
}

Nyx::PString KADRequests::GetSetting(const Nyx::PString& section, const Nyx::PString& key)
{
    Call call;
    call.request.WritePString(section);
    call.request.WritePString(key);
    Nyx::PString value;
    if (call.Send(kGetSetting))
        call.reply.ReadPString(value);
    return value;
}

ChunkRef KADRequests::ExportAsset(const KUID& kuid, uint32_t flags, ResultsLog* log)
{
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WriteInt32(flags);
    if (!call.Send(kExportAsset, nullptr, log))
        return nullptr;
    ChunkRef entry;
    if (!CDP::ReadAssetEntry(call.reply, entry))
        return nullptr;
    return entry;
}

ChunkRef KADRequests::GetLocalData(const KUID& kuid, const Nyx::PString& key)
{
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WritePString(Nyx::PStringCache::ToLower(key));
    if (!call.Send(kGetLocalData))
        return nullptr;
    ChunkRef data;
    if (!ReadBinaryConfig(call.reply, data))
        return nullptr;
    return data;
}

bool KADRequests::SetLocalData(const KUID& kuid, const Nyx::PString& key, const ChunkRef& data)
{
    Call call;
    WriteKUID(call.request, kuid);
    call.request.WritePString(Nyx::PStringCache::ToLower(key));
    if (!WriteWholeBinaryConfig(call.request, data))
        return false;
    call.Send(kSetLocalData);
    return true;
}

bool KADRequests::Request181()
{
    Call call;
    bool answer = true;
    if (call.Send(kRequest181))
        call.reply.ReadBool(answer, true);
    return answer;
}

URLFetch* KADRequests::StartURLFetch(const Nyx::PString& url)
{
    Call call;
    call.request.WriteUInt8(0);
    call.request.WritePString(url);
    call.request.WriteInt32(2u);
    call.request.WriteInt32(0xFFFFFFFFu);
    WriteBinaryConfig(call.request, ChunkRef());
    auto* fetch = new URLFetch;
    if (call.Send(kStartURLFetch))
        call.reply.ReadUInt64(fetch->handle, 0);
    return fetch;
}

void KADRequests::EndURLFetch(URLFetch* fetch)
{
    if (!fetch)
        return;
    Call call;
    call.request.WriteUInt64(fetch->handle);
    call.Send(kEndURLFetch);
    delete fetch;
}

void KADRequests::PollURLFetchRequest(URLFetch& fetch, URLFetchPoll& out)
{
    if (fetch.last.done) {
        out = fetch.last;
        return;
    }
    out = URLFetchPoll();
    Call call;
    call.request.WriteUInt64(fetch.handle);
    if (!call.Send(kPollURLFetchRequest))
        return;
    bool done = true;
    call.reply.ReadBool(done, true);
    out.done = done ? 1 : 0;
    call.reply.ReadInt32(out.value0, 0);
    call.reply.ReadInt32(out.value1, 0);
    call.reply.ReadInt32(out.value2, 0);
    Nyx::String path;
    call.reply.ReadString(path);
    out.path = Nyx::File::Path(path);
    call.reply.ReadPString(out.text);
    fetch.last = out;
}

int32_t KADRequests::PollURLFetch(URLFetch& fetch)
{
    URLFetchPoll poll;
    PollURLFetchRequest(fetch, poll);
    return poll.value1;
}

bool KADRequests::PollURLFetchAlt(URLFetch& fetch)
{
    URLFetchPoll poll;
    PollURLFetchRequest(fetch, poll);
    return poll.done != 0;
}

void KADRequests::GetOnlineProfile(OnlineProfile& out)
{
    Call call;
    if (!call.Send(kGetOnlineProfile))
        return;
    call.reply.ReadString(out.text0);
    call.reply.ReadString(out.text1);
    call.reply.ReadString(out.text2);
    call.reply.ReadInt32(out.number0, 0);
    call.reply.ReadString(out.text3);
    call.reply.ReadInt32(out.number1, 0);
}

void KADRequests::Request241()
{
    Call call;
    call.Send(kRequest241);
}

Nyx::String KADRequests::Request242()
{
    Call call;
    Nyx::String text;
    if (call.Send(kRequest242))
        call.reply.ReadString(text);
    return text;
}

Nyx::PString KADRequests::ListBuilds(bool* answered)
{
    Call call;
    Nyx::PString text;
    const bool sent = call.Send(kListBuilds);
    if (answered)
        *answered = sent;
    if (sent)
        call.reply.ReadPString(text);
    return text;
}
