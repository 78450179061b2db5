#include "gs/compiler/image/LibraryFile.h"

#include "platform/FileSave.h"

namespace GSCompiler {

std::string LibraryPath(std::string_view folder, std::string_view sourcePath)
{
    const size_t slash = sourcePath.find_last_of("\\/:");
    std::string_view name = slash == std::string_view::npos ? sourcePath : sourcePath.substr(slash + 1);
    const size_t dot = name.rfind('.');
    if (dot != std::string_view::npos)
        name = name.substr(0, dot);
    std::string path(folder);
    if (!path.empty() && path.back() != '/' && path.back() != '\\')
        path += '/';
    path += name;
    path += ".gsl";
    return path;
}

LibraryFileResult WriteLibraryFile(const std::string& path, const uint8_t* data, uint32_t size)
{
    Platform::FileSave save(path);
    if (!save.IsOpen())
        return LibraryFileResult::kCannotCreate;
    return save.Write(data, size) && save.Commit() ? LibraryFileResult::kWritten : LibraryFileResult::kCannotWrite;
}

}  // namespace GSCompiler
