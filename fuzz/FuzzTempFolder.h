// A folder of the fuzz target's own under the system's temporary folder,
// made at the first input and removed with everything in it at exit, and
// the writing of the files an input lays out in it.
#pragma once

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <system_error>

#include <unistd.h>

class FuzzTempFolder {
public:
    explicit FuzzTempFolder(const char* name)
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name + ".XXXXXX";
        if (!::mkdtemp(templ.data()))
            std::abort();
        // The data root and the settings folder are compared as the file
        // system has them: no links on the way.
        std::error_code ec;
        std::filesystem::path real = std::filesystem::canonical(templ, ec);
        path_ = ec ? templ : real.string();
    }
    ~FuzzTempFolder()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    FuzzTempFolder(const FuzzTempFolder&) = delete;
    FuzzTempFolder& operator=(const FuzzTempFolder&) = delete;

    const std::string& Path() const { return path_; }
    std::string operator/(std::string_view rel) const { return path_ + "/" + std::string(rel); }

    // Removes everything in the folder, keeping the folder.
    void Clear() const
    {
        std::error_code ec;
        for (const auto& entry : std::filesystem::directory_iterator(path_, ec))
            std::filesystem::remove_all(entry.path(), ec);
    }

    // Writes the bytes to the file (its folders made first), replacing it.
    void Write(std::string_view rel, std::string_view bytes) const
    {
        std::filesystem::path file = *this / rel;
        std::error_code ec;
        std::filesystem::create_directories(file.parent_path(), ec);
        std::ofstream out(file, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out)
            std::abort();
    }

private:
    std::string path_;
};
