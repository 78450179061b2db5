// The small data root the stand-in fuzz targets serve: the same two assets
// (an engine that depends on a track) laid out afresh before an input.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>
#include <system_error>

inline void LayOutFuzzDataRoot(const std::string& path)
{
    namespace fs = std::filesystem;
    auto write = [](const std::string& file, const char* text) {
        fs::create_directories(fs::path(file).parent_path());
        std::ofstream(file, std::ios::binary) << text;
    };
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(path, ec))
        fs::remove_all(entry.path(), ec);
    write(path + "/local/engine/config.txt",
          "kuid <kuid:400001:101>\nusername \"Engine\"\nkind \"traincar\"\ncategory-class \"VE;LOC\"\n"
          "kuid-table\n{\n  0 <kuid:400001:104>\n}\n");
    write(path + "/local/track/config.txt",
          "kuid <kuid:400001:104>\nusername \"Track\"\nkind \"track\"\ncategory-class \"TR\"\n");
}
