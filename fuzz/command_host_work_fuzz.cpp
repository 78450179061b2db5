// The command host's texture-convert and archive-save jobs doing their real
// work, as the daemon hands them over. The first byte picks the job (bit 0
// clear: texture convert, set: archive save).
//
// Texture convert: bits 1 and 2 pick the image's extension (tga, bmp,
// png); the rest is split in two, the first half following the "Primary="
// line of "editing/asset/body.texture.txt", the second half being that
// image. A second, sound description lies in a sub-folder. The job walks
// the asset folder under the content root. Whatever the bytes: the answer
// reads back (the results, then 2 or 0); both descriptions are under
// their names again and no conversion name is left; the sound one is
// always compiled; the answer is 2 exactly when the first compiled too,
// and 0 comes with an error.
//
// Archive save: u8 n (at most 8), n KUIDs of 8 bytes, then text added to
// the config of one of the stand-in's three assets. The job saves those
// KUIDs into an archive in a folder of the target's own, exporting them
// from the stand-in. Whatever the bytes: the answer reads back, saying all
// were saved exactly when the store knows every KUID asked for; the archive
// is there under its name alone; and the archive install reads it through
// to its end mark, finding each asset the store knows and no other.
#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "FuzzCheck.h"
#include "FuzzStandIn.h"
#include "FuzzTempFolder.h"
#include "cli/commandhost/ArchiveJobs.h"
#include "cli/commandhost/CommandHostJob.h"
#include "config/kuid/KUID.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "core/process/ProcessState.h"
#include "core/streams/TStream.h"
#include "kad/packages/CDP.h"
#include "kad/requests/KUIDListWire.h"
#include "resources/TextureTestSupport.h"
#include "resources/archive/ArchiveCache.h"

namespace {

namespace fs = std::filesystem;

const KUID kAssets[] = {KUID(400001, 101, 0), KUID(400001, 102, 0), KUID(400001, 103, 1)};

std::string ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Runs the job; the reply positioned after its results, which go to `log`.
void Run(TBuffer& request, TBuffer& reply, ResultsLog& log)
{
    request.Rewind();
    RunCommandHostJob(request, reply, CommandHostWork::Default());
    reply.Rewind();
    ReadResults(reply, log);
    FuzzCheck(reply.GetError() == 0);
}

void TextureConvert(const FuzzTempFolder& folder, const uint8_t* data, size_t size)
{
    static const char* const kExtensions[] = {"tga", "bmp", "png", "tga"};
    const std::string image = std::string("body.") + kExtensions[(data[0] >> 1) & 3];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    folder.Write("editing/asset/body.texture.txt", "Primary=" + image + "\n" + std::string(rest.substr(0, rest.size() / 2)));
    folder.Write("editing/asset/" + image, rest.substr(rest.size() / 2));
    folder.Write("editing/asset/sub/ok.tga", texturetest::Tga32(8, 8, texturetest::Gradient));
    folder.Write("editing/asset/sub/ok.texture.txt", "Primary=ok.tga\nHint=1\n");

    TBuffer request;
    request.WriteInt32(CommandHostJob::kTextureConvert);
    request.WritePString(Nyx::PString());
    request.WriteString(Nyx::AnsiString(folder / "editing/asset"));
    TBuffer reply;
    ResultsLog log;
    Run(request, reply, log);
    uint32_t answer = 7;
    reply.ReadInt32(answer, 7u);
    FuzzCheck(reply.GetError() == 0 && StreamBytesLeft(reply) == 0);
    FuzzCheck(answer == 2 || answer == 0);
    FuzzCheck(answer == 2 || log.GetErrorCount() > 0);

    FuzzCheck(fs::exists(folder / "editing/asset/body.texture.txt"));
    FuzzCheck(fs::exists(folder / "editing/asset/sub/ok.texture.txt"));
    for (const auto& entry : fs::recursive_directory_iterator(folder / "editing"))
        FuzzCheck(entry.path().filename().string().find(".convert-tex") == std::string::npos);
    FuzzCheck(texturetest::ReadCompiled(ReadFile(folder / "editing/asset/sub/ok.texture")).valid);
    const bool compiled = texturetest::ReadCompiled(ReadFile(folder / "editing/asset/body.texture")).valid;
    FuzzCheck(compiled == (answer == 2));
}

void ArchiveSave(const FuzzTempFolder& folder, const uint8_t* data, size_t size)
{
    const size_t count = size < 2 ? 0 : std::min<size_t>(data[1] % 9, (size - 2) / KUID::kPackedSize);
    TBuffer kuidBytes;
    kuidBytes.WriteBytes(data + 2, static_cast<uint32_t>(count * KUID::kPackedSize));
    kuidBytes.Rewind();
    std::vector<KUID> asked;
    for (size_t i = 0; i < count; ++i) {
        KUID kuid;
        ReadKUID(kuidBytes, kuid);
        asked.push_back(kuid);
    }
    const size_t used = std::min(size, 2 + count * KUID::kPackedSize);
    const std::string extra(reinterpret_cast<const char*>(data + used), size - used);

    for (int i = 0; i < 3; ++i) {
        std::string config = "kuid " + std::string(kAssets[i].ToString().c_str()) + "\nkind \"scenery\"\nusername \"a" +
                             std::to_string(i) + "\"\n";
        if (i == 1)
            config += extra;
        folder.Write("root/local/a" + std::to_string(i) + "/config.txt", config);
        folder.Write("root/local/a" + std::to_string(i) + "/sub/data.txt", std::string(size_t(i) * 37, 'x'));
    }
    FuzzStandIn standIn(folder / "root");
    bool allKnown = true;
    std::vector<KUID> known;
    for (const KUID& kuid : asked) {
        if (standIn.Store().IsKnown(kuid))
            known.push_back(kuid);
        else
            allKnown = false;
    }

    const std::string archive = folder / "out/archive";
    fs::create_directories(folder / "out");
    TBuffer request;
    request.WriteInt32(CommandHostJob::kArchiveSave);
    request.WriteInt32(9);
    request.WriteString(Nyx::AnsiString(archive));
    KUIDRing ring;
    for (const KUID& kuid : asked)
        ring.Append(kuid);
    WriteKUIDList(request, ring);
    TBuffer reply;
    ResultsLog log;
    Run(request, reply, log);
    uint32_t saved = 7;
    reply.ReadInt32(saved, 7u);
    FuzzCheck(reply.GetError() == 0 && StreamBytesLeft(reply) == 0);
    FuzzCheck(saved == (allKnown ? 1u : 0u));
    std::vector<std::string> files;
    for (const auto& entry : fs::directory_iterator(folder / "out"))
        files.push_back(entry.path().filename().string());
    FuzzCheck(files == std::vector<std::string>{"archive"});

    KUIDRing wanted;
    for (const KUID& kuid : asked)
        wanted.Append(kuid);
    std::vector<KUID> found;
    ResultsLog readLog;
    FuzzCheck(ArchiveInstall(9, Nyx::File::Path(archive), wanted, readLog,
                             [&found](const ChunkRef& entry, uint32_t, ResultsLog&) {
                                 found.push_back(CDP::GetEntryKUID(entry));
                                 return found.back();
                             }));
    // Each asset once, however often it was asked for.
    std::vector<KUID> expected;
    for (const KUID& kuid : known) {
        if (std::find(expected.begin(), expected.end(), kuid) == expected.end())
            expected.push_back(kuid);
    }
    std::sort(found.begin(), found.end(), KADFilterElementAssetID::Order());
    std::sort(expected.begin(), expected.end(), KADFilterElementAssetID::Order());
    FuzzCheck(found == expected);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0 || size > 64 * 1024)
        return 0;
    static FuzzTempFolder folder("command_host_work_fuzz");
    SetMainThreadId();
    folder.Clear();
    const Nyx::File::Path before = GetContentRootPath();
    SetContentRootPath(Nyx::File::Path(folder.Path()));
    if (data[0] & 1)
        ArchiveSave(folder, data, size);
    else
        TextureConvert(folder, data, size);
    ArchiveCache::PurgeUnused();
    SetContentRootPath(before);
    return 0;
}
