// Where a compiled library goes and how it gets there: the image is saved
// as Platform::FileSave saves, every write and the close checked, synced,
// and renamed over the target only when whole, so a failed compile never
// leaves a partial file and keeps any older one.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace GSCompiler {

// "<folder>/<base>.gsl": the source's file name without its extension, in
// the folder; no "/" is added after an empty folder or one that ends in
// "/" or "\\".
std::string LibraryPath(std::string_view folder, std::string_view sourcePath);

enum class LibraryFileResult {
    kWritten,
    kCannotCreate,  // the temporary file could not be made (or the target opened)
    kCannotWrite,   // a write, the sync, the close or the rename failed
};

LibraryFileResult WriteLibraryFile(const std::string& path, const uint8_t* data, uint32_t size);

}  // namespace GSCompiler
