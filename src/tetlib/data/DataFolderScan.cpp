#include "tetlib/data/DataFolderScan.h"

#include <sys/stat.h>

#include <string>

namespace TETLib {

namespace {

bool IsRegularFile(const Nyx::File::Path& path)
{
    const std::string real = Nyx::File::Resolve(Nyx::PString(), path);
    struct stat st;
    return !real.empty() && ::stat(real.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

}  // namespace

std::vector<std::string_view> SplitTextLines(std::string_view bytes)
{
    std::vector<std::string_view> lines;
    size_t at = 0;
    while (at < bytes.size()) {
        size_t end = bytes.find('\n', at);
        const size_t next = end == std::string_view::npos ? bytes.size() : end + 1;
        if (end == std::string_view::npos)
            end = bytes.size();
        std::string_view line = bytes.substr(at, end - at);
        while (!line.empty() && (line.back() == '\r' || line.back() == '\n'))
            line.remove_suffix(1);
        lines.push_back(line);
        at = next;
    }
    return lines;
}

DataLines SplitDataLines(std::string_view bytes)
{
    DataLines out;
    for (std::string_view line : SplitTextLines(bytes)) {
        const size_t blank = line.find(' ');
        if (blank == std::string_view::npos)
            out.push_back({Nyx::PString(line), Nyx::PString()});
        else
            out.push_back({Nyx::PString(line.substr(0, blank)), Nyx::PString(line.substr(blank + 1))});
    }
    return out;
}

bool ReadDataFile(const Nyx::File::Path& path, std::string& bytes)
{
    bytes.clear();
    // Opening a pipe or a device would wait on it, or read without end.
    if (!IsRegularFile(path))
        return false;
    Nyx::File file;
    if (!file.Open(path, Nyx::File::kModeRead))
        return false;
    char buffer[65536];
    while (uint32_t n = file.Read(buffer, 1, sizeof buffer)) {
        if (bytes.size() + n > kMaxDataFileSize)
            return false;
        bytes.append(buffer, n);
    }
    return true;
}

bool ScanDataFolder(const Nyx::File::Path& folder, DataFolderFiles& files)
{
    Nyx::File::Path pattern(folder);
    pattern.AddPath("*");
    Nyx::File::Find find(pattern);
    if (!find.Valid())
        return false;
    std::string bytes;
    while (find.Next()) {
        Nyx::File::Path path(folder);
        path.AddPath(find.Name());
        if (find.IsFolder() || !IsRegularFile(path))
            continue;
        if (!ReadDataFile(path, bytes))
            return false;
        files[Nyx::PString(find.Name())] = SplitDataLines(bytes);
    }
    return true;
}

}  // namespace TETLib
