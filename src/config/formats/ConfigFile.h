// Config trees on disk and on the console. The file's extension picks the
// form: "txt" is config text, "chump", "cdp" and "cdp2" the binary "ACS$"
// form; extensions compare without regard to case.
//
// A folder argument, when given and not empty, is the base the file name is
// opened in (a mount name or a folder); otherwise the file name stands
// alone. Nothing here logs: every failure is a false result.
#pragma once

#include <cstdio>
#include <memory>
#include <string_view>

#include "config/tree/ACSChunk.h"

class TBuffer;

// Letters compare without regard to case and control bytes all compare equal
// to one another; every other byte compares as itself.
bool EqualsNoCase(std::string_view a, std::string_view b);

// The extension argument without a leading '.' when it is given and not
// empty; else the text after the last '.' of the file name; else the empty
// text. The result points into the arguments.
std::string_view ExtensionOf(const char* extension, const char* fileName);

// Reads the file into `out`. False, with `out` untouched, when the file does
// not open, its extension is unknown, or its text nests containers deeper
// than a tree may go. True otherwise, even when nothing could be read: a
// text without tags, or a binary file that does not read, leaves `out` null,
// which callers test.
bool LoadConfigFile(ChunkRef& out, const char* folder, const char* fileName, const char* extension = nullptr);

// Writes the tree in the form of the extension; a null root writes an empty
// text file or an empty binary one. The save goes as Platform::FileSave
// says: a link is written where it points, a file is replaced only once its
// new bytes are all written (keeping its permission bits), so a failed save
// leaves the old file as it was, and a device is written into in place.
// False for an unknown extension (no file is touched), when the file cannot
// be written (a folder among them), when a write falls short, and when the
// tree nests too deep to be written whole.
//
// The file is synced before it replaces the old one, unless the caller says
// it syncs the folder before anyone relies on it (a working copy that a
// commit puts on disk whole): a sync is a wait for the disk.
enum class ConfigSync { kBeforeReplace, kByCaller };
bool SaveConfigFile(const ChunkRef& root, const char* folder, const char* fileName, const char* extension = nullptr,
                    ConfigSync sync = ConfigSync::kBeforeReplace);

// Reads a file as config text whatever its extension, for files that are
// rewritten in place through a sibling whose extension is "tmp". The file
// itself is preferred, and a leftover sibling is then deleted; when only the
// sibling is there it is loaded and renamed to the file's name. A file that
// exists but does not open is left alone, as it may be locked and readable
// later: the sibling is then loaded but not moved over it. A sibling that
// does not open is left alone too. False, with `out` untouched, when nothing
// loads. Deletes and renames go through the asset-folder helpers, which take
// a non-empty folder below the content root.
bool LoadConfigFileWithRecovery(ChunkRef& out, const char* folder, const char* fileName);
inline bool LoadConfigFileSafely(ChunkRef& out, const char* folder, const char* fileName)
{
    return LoadConfigFileWithRecovery(out, folder, fileName);
}

// The config text of the container in a new memory stream, positioned at the
// end of the text; the text itself is GetBuffer()->Data() up to DataLength().
std::unique_ptr<TBuffer> ConfigToTextBuffer(const ChunkRef& container);

// Prints the tree's config text (byte-order mark and CR LF line ends
// included) followed by "\n", then flushes; a null root prints only the
// "\n". PrintConfig prints on standard output.
void PrintConfig(const ChunkRef& root);
void PrintConfigTo(std::FILE* out, const ChunkRef& root);
