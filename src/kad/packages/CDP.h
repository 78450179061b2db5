// Content packages (".cdp"): one or more assets with all their files in a
// single config tree, saved in the binary config form.
//
// The root holds "kind" ("archive"), "package-version" (1), "assets" (one
// entry per asset, named by its KUID text) and three KUID tables:
// "contents-table" (every entry's KUID, in "assets" order), "kuid-table"
// (what the entries depend on outside the package) and "obsolete-table".
// An entry is the asset's config plus "files" (a container per sub-folder,
// a data chunk per file), "compression" ("LZSS" when the file chunks are
// compressed, each behind a u32 little-endian prefix that bounds its
// uncompressed size), "dsid" (the content checksum text of "files"), and
// "folder-icon" and ".cache", which the installed config leaves out.
//
// Every operation reports by its text: empty on success, else the message
// for the user. Nothing throws. A package is untrusted: extraction writes
// nothing outside the folder it is given, whatever the names, links already
// in that folder or sizes the package holds.
#pragma once

#include <cstdint>

#include "config/tree/ACSChunk.h"
#include "config/kuid/KUID.h"
#include "config/kuid/KUIDRing.h"
#include "kad/packages/ContentChecksum.h"
#include "nyx/files/File.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class TStream;

class CDP {
public:
    // What an entry without a KUID is refused with, when added or installed.
    static constexpr const char* kNoKUIDText = "Unable to add content as it doesnt not contain a valid KUID";

    // Loads the file (its form chosen by its extension) and checks, in this
    // order, "kind", the entry count against "contents-table" and
    // "package-version". On failure the package is left empty.
    // A package file that does not open as a regular file fails the first
    // check, without waiting on a FIFO or a device.
    static Nyx::String CheckHeader(ChunkRef& package, const Nyx::File::Path& path);
    static Nyx::String Write(const ChunkRef& package, const Nyx::File::Path& path);

    // Adds the entry itself (not a copy) under its KUID text and rebuilds
    // the tables. Refused, with the package unchanged, for an entry without
    // a KUID or one whose KUID is there already.
    static Nyx::String AddAsset(ChunkRef& package, ChunkRef entry);
    // An entry's "kuid" equals the KUID (all three words).
    static bool HasAsset(const ChunkRef& package, const KUID& kuid);
    static uint32_t GetAssetCount(const ChunkRef& package);
    // Null when there is no container at that index.
    static ChunkRef GetAssetAt(const ChunkRef& package, uint32_t index);
    // Makes the three tables, "kind" and "package-version" anew from the
    // entries: a dependency that is itself in the package is left out.
    static void RebuildTables(ChunkRef& package);

    // ---- entries ----

    static void SetCompressionLZSS(ChunkRef& entry);
    static ChunkRef GetEntryFiles(const ChunkRef& entry);
    static Nyx::PString GetEntryCompression(const ChunkRef& entry);
    // The null KUID when the entry has none.
    static KUID GetEntryKUID(const ChunkRef& entry);
    // The bytes of the entry's first child of the name, borrowed from it.
    static ACSRawData GetEntryRawData(const ChunkRef& entry, const Nyx::PString& name);
    // Reads one binary config tree from the stream's position (the reply of
    // the export request, or one record of an archive) and leaves the
    // stream behind it. False, with `entry` null, when none reads.
    static bool ReadAssetEntry(TStream& stream, ChunkRef& entry);

    // What an entry names outside itself: every KUID its config names, its
    // "kuid-table", the eleven asset tags, and the default interior of an
    // engine traincar without one; less what its "obsolete-table" names and
    // its own KUID. Each is appended unless `out` holds it already.
    static void CollectDependencies(const ChunkRef& entry, const KUID& own, KUIDRing& out);
    // The "obsolete-table" and "obsoletes-kuid" of the entry, less its own
    // KUID, appended unless `out` holds them already.
    static void CollectObsoletes(const ChunkRef& entry, const KUID& own, KUIDRing& out);

    // The checksum of the entry's "files".
    static ContentChecksum GetContentChecksum(const ChunkRef& entry);
    // The entry's "dsid" is the checksum's text.
    static bool VerifyEntryChecksum(const ChunkRef& entry);
    static void StampEntryChecksum(ChunkRef& entry);

    // The config an entry installs as: a copy without the package-only
    // tags, "kind" lower-cased, and the "kuid-table" completed with the
    // entry's dependencies. Null for a null entry or one nested too deep to
    // copy.
    static ChunkRef MakeConfigFromEntry(const ChunkRef& entry);

    // Writes a "files" tree into the folder (made when missing). Unsafe
    // names, unsafe folders and file types a package does not carry are
    // skipped without a message; a symbolic link found where a file or
    // folder goes is never written through. The walk goes on after an
    // error, and the result is the last error met. `filesWritten`, when
    // given, is set to how many files it wrote.
    static Nyx::String ExtractFolder(const ChunkRef& files, const Nyx::File::Path& folder,
                                     const Nyx::PString& compression, uint32_t* filesWritten = nullptr);
    // Writes one file through a sibling that replaces it only once written
    // whole: a failure leaves the old file as it was, and no other. A
    // compressed chunk never makes more bytes than its prefix allows.
    static Nyx::String ExtractFile(const ACSRawData& data, const Nyx::File::Path& path,
                                   const Nyx::PString& compression);
};
