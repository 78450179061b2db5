// What a fuzz target compares to see that a run left a folder as it found it.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <set>
#include <string>

#include "FuzzCheck.h"

// Every path below the folder with its type, size and time; links listed,
// never followed.
inline std::set<std::string> Snapshot(const std::string& folder)
{
    namespace fs = std::filesystem;
    std::set<std::string> out;
    std::error_code ec;
    for (auto it = fs::recursive_directory_iterator(folder, ec); !ec && it != fs::recursive_directory_iterator();
         it.increment(ec)) {
        struct stat st;
        const std::string path = it->path().string();
        FuzzCheck(::lstat(path.c_str(), &st) == 0);
        out.insert(path + " " + std::to_string(st.st_mode) + " " + std::to_string(st.st_size) + " " +
                   std::to_string(st.st_mtim.tv_sec) + "." + std::to_string(st.st_mtim.tv_nsec));
    }
    return out;
}
