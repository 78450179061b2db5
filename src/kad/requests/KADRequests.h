// The numbered requests the tool sends to the asset-database daemon: one
// thin typed stub each. A stub writes its payload, makes the call, and reads
// the reply field by field, a field the reply does not reach reading as its
// default. When the call fails nothing is read and the outputs keep what
// they held before. No stub reports anything: the callers do, in their own
// words.
#pragma once

#include <cstdint>
#include <vector>

#include "config/tree/ACSChunk.h"
#include "config/kuid/KUID.h"
#include "config/kuid/KUIDRing.h"
#include "kad/client/AssetHandle.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class KADClientCallback;
class KADFilterElement;
class ResultsLog;
class TStream;
struct AssetRecord;

// What one poll of a URL fetch reports.
struct URLFetchPoll {
    uint8_t done = 0;
    int32_t value0 = 0;
    int32_t value1 = 0;
    int32_t value2 = 0;
    Nyx::File::Path path;
    Nyx::PString text;
};

// A fetch the daemon runs for the tool. Once a poll has reported the fetch
// done, that answer is kept and the daemon is not asked again.
struct URLFetch {
    uint64_t handle = 0;
    URLFetchPoll last;
};

struct OnlineProfile {
    Nyx::String text0;
    Nyx::String text1;
    Nyx::String text2;
    uint32_t number0 = 0;
    Nyx::String text3;
    uint32_t number1 = 0;
};

class KADRequests {
public:
    enum Number : uint32_t {
        kKeepAlive = 0,
        kSearchAssets = 2,
        kStartRepair = 3,
        kPollRepair = 4,
        kGetAssetConfig = 20,
        kGetAssetInfo = 21,
        kGetAssetFilePath = 23,
        kResolveKUID = 26,
        kGetLatestKUID = 27,
        kGetAssetDescription = 28,
        kGetThumbnail = 29,
        kOpenAsset = 30,
        kCloseAsset = 31,
        kGetAssetFolder = 32,
        kRevertAsset = 33,
        kCommitAsset = 34,
        kCreateAsset = 35,
        kDeleteAsset = 36,
        kValidateAsset = 38,
        kInstallFromFolder = 39,
        kInstallCDP = 40,
        kGetDependencies = 42,
        kGetObsoletes = 43,
        kExportAsset = 48,
        kSetFavorite = 50,
        kSetKeywords = 54,
        kGetAuthorName = 90,
        kGetSetting = 102,
        kGetLocalData = 121,
        kSetLocalData = 122,
        kRequest181 = 181,
        kStartURLFetch = 230,
        kEndURLFetch = 231,
        kPollURLFetchRequest = 232,
        kGetOnlineProfile = 240,
        kRequest241 = 241,
        kRequest242 = 242,
        kListBuilds = 253,
    };

    // The call every stub makes; the daemon client's unless replaced. Tests
    // put a scripted daemon here; null puts the client back.
    using Transport = bool (*)(uint32_t number, TStream& payload, TStream& reply, KADClientCallback* callback,
                               ResultsLog* log, bool keepLog);
    static void SetTransport(Transport transport);

    // Request 2: appends the matching KUIDs in the daemon's order. False
    // when the call fails or the reply is cut short, and, without a call,
    // when the filter cannot be written whole (a text too long for the
    // wire). `answered`, when given, is false when no reply came.
    static bool SearchAssets(const KADFilterElement* filter, KUIDRing& out, bool* answered = nullptr);

    // Request 3; the log stays registered so the repair's later results
    // reach it.
    static bool StartRepair(uint32_t mode, ResultsLog* log);
    // Request 4: true while the repair runs; false once it ended or when
    // the call fails. `answered`, when given, tells the two falses apart:
    // it is false when no reply came.
    static bool PollRepair(float& progress, Nyx::String& status, bool* answered = nullptr);

    // The asset-description registry first (nothing sent when it holds the asset), else
    // request 20. Null when the asset has no local config.
    static ChunkRef GetAssetConfig(const KUID& kuid);
    static bool GetAssetScriptPath(const KUID& kuid, Nyx::File::Path& path, Nyx::PString& className);

    // Request 21: the record's known flag; false when the call fails.
    static bool GetAssetInfo(const KUID& kuid, AssetRecord& record, uint32_t mask);
    // Request 21 with the name mask: empty for an asset the daemon does
    // not know. `answered`, when given, is false when no reply came.
    static Nyx::String GetAssetName(const KUID& kuid, bool* answered = nullptr);
    // Request 21 with the texts mask: the asset's keyword text; empty when
    // the call fails or the daemon does not know the asset. `answered`,
    // when given, is false when no reply came.
    static Nyx::String GetAssetKeywords(const KUID& kuid, bool* answered = nullptr);
    // Request 21 for one flag; an asset the daemon does not know counts as
    // flagged.
    static bool GetAssetInfoFlag9(const KUID& kuid);
    static bool GetAssetInfoFlag11(const KUID& kuid, bool gate);

    // Request 23; name and path are empty when the call fails.
    static bool GetAssetFilePath(const KUID& kuid, uint8_t flag, Nyx::PString& name, Nyx::File::Path& path);
    // Requests 26 and 27: the input KUID when the call fails.
    static KUID ResolveKUID(const KUID& kuid);
    static KUID GetLatestKUID(const KUID& kuid);
    // Request 28.
    static Nyx::String GetAssetDescription(const KUID& kuid);
    // Request 29: the reply's number, 0 when the call fails. A reply that
    // carries the image itself has the byte count as its number and the
    // bytes behind it; they go to `bytes` when given (left empty when the
    // reply holds fewer bytes than it counts).
    static int32_t GetThumbnail(const KUID& kuid, uint32_t size, Nyx::PString& name, Nyx::File::Path& path,
                                std::vector<uint8_t>* bytes = nullptr);

    // Request 30: an empty reference when the daemon refuses.
    static AssetHandleRef OpenAsset(const KUID& kuid, bool forEdit, ResultsLog* log);
    // Request 31.
    static void CloseAsset(uint64_t handle);
    // Request 32, sent only while the handle's folder is not known.
    static bool GetAssetFolder(const AssetHandleRef& ref, Nyx::PString& name, Nyx::File::Path& folder);
    // Request 33. Releases the reference it was given.
    static bool RevertAsset(AssetHandleRef ref, ResultsLog* log);
    // Request 34.
    static bool CommitAsset(AssetHandleRef& ref, uint32_t mode, ResultsLog* log, bool* secondResult = nullptr);
    // Request 35: an edit reference to the new asset, or an empty one.
    static AssetHandleRef CreateAsset(const KUID& kuid, uint8_t flag, const Nyx::String& name);
    // Request 36.
    static bool DeleteAsset(const KUID& kuid, uint8_t flag, ResultsLog* log);
    // Request 38: the daemon reports its findings into the log. `answered`,
    // when given, is false when no reply came.
    static bool ValidateAsset(const Nyx::PString& name, const Nyx::File::Path& folder, ResultsLog* log,
                              bool* answered = nullptr);
    // Request 39: the installed asset's KUID into `kuid`; the reply's bool.
    static bool InstallFromFolder(const Nyx::File::Path& folder, uint32_t mode, KUID& kuid,
                                  KADClientCallback* callback, ResultsLog* log);
    // Request 40: the reply's number into `value`; the reply's bool.
    static bool InstallCDP(const Nyx::File::Path& file, uint32_t mode, int32_t& value, KADClientCallback* callback,
                           ResultsLog* log);
    // Requests 42 and 43 append to `out`; true even when the call fails.
    static bool GetDependencies(const KUIDRing& kuids, KUIDRing& out);
    static bool GetDependencyList(const KUID& kuid, KUIDRing& out);
    static bool GetObsoletes(const KUID& kuid, KUIDRing& out);
    // Request 50.
    static void SetFavorite(const KUID& kuid, bool on);
    // Request 54: true when the daemon answered, whatever it made of it;
    // the log, when given, receives the errors of a change the daemon could
    // not keep. A text its string record cannot carry is not sent (false):
    // the daemon would take it for the empty text.
    static bool KeywordsFitRecord(const Nyx::String& keywords);
    static bool SetKeywords(const KUID& kuid, const Nyx::String& keywords, ResultsLog* log = nullptr);
    // Request 90: the author's name into `name` (empty when the daemon has
    // none); false, with `name` untouched, when the call fails.
    static bool GetAuthorName(int32_t authorId, Nyx::PString& name);
    // The same request read as the author lookup reads it: the value -1
    // and the empty name where the reply falls short. False when the call
    // failed.
    static bool QueryAuthorName(int32_t userId, int32_t& value, Nyx::PString& name);
    // Request 102.
    static Nyx::PString GetSetting(const Nyx::PString& section, const Nyx::PString& key);
    // Request 48: the asset as a content-package entry (its config tree with
    // the package-only tags, one binary config tree in the reply); the
    // caller's log receives the daemon's results. Null when the call fails
    // or the reply holds no tree.
    static ChunkRef ExportAsset(const KUID& kuid, uint32_t flags, ResultsLog* log);
    // Requests 121 and 122; the key goes lower-cased. Data the binary form
    // cannot carry whole is not sent (false): the daemon would keep it cut.
    static ChunkRef GetLocalData(const KUID& kuid, const Nyx::PString& key);
    static bool SetLocalData(const KUID& kuid, const Nyx::PString& key, const ChunkRef& data);
    // Request 181: true when the call fails.
    static bool Request181();
    // Request 230 with a composed URL text.
    static URLFetch* StartURLFetch(const Nyx::PString& url);
    // Request 231; frees the fetch.
    static void EndURLFetch(URLFetch* fetch);
    // Request 232 (see URLFetch).
    static void PollURLFetchRequest(URLFetch& fetch, URLFetchPoll& out);
    static int32_t PollURLFetch(URLFetch& fetch);
    static bool PollURLFetchAlt(URLFetch& fetch);
    // Request 240; the record keeps its values when the call fails.
    static void GetOnlineProfile(OnlineProfile& out);
    static void Request241();
    static Nyx::String Request242();
    // Request 253: empty when the call fails. `answered`, when given, is
    // false when no reply came.
    static Nyx::PString ListBuilds(bool* answered = nullptr);
};
