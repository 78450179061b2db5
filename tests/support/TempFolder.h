// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

class TempFolder {
public:
    TempFolder()
    {
        const char* tmp = std::getenv("TMPDIR");
        std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/kestro-test-XXXXXX";
        if (::mkdtemp(templ.data()))
            path_ = templ;
        EXPECT_FALSE(path_.empty()) << "mkdtemp failed";
    }
    ~TempFolder()
    {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // The folder joined with a relative name.
    std::string operator/(std::string_view rel) const { return path_ + "/" + std::string(rel); }

    // Writes a file (making its folders) with the given bytes.
    void Write(std::string_view rel, std::string_view bytes) const
    {
        std::filesystem::path p = *this / rel;
        std::filesystem::create_directories(p.parent_path());
        std::ofstream out(p, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    }
    void MakeFolder(std::string_view rel) const { std::filesystem::create_directories(*this / rel); }
    std::string ReadAll(std::string_view rel) const
    {
        std::ifstream in(*this / rel, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    bool Has(std::string_view rel) const
    {
        std::error_code ec;
        return std::filesystem::exists(std::filesystem::symlink_status(*this / rel, ec));
    }

private:
    std::string path_;
};
