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
    TempFolder();
    ~TempFolder();
    TempFolder(const TempFolder&) = delete;
    TempFolder& operator=(const TempFolder&) = delete;

    const std::string& Path() const { return path_; }
    // The folder joined with a relative name.
    std::string operator/(std::string_view rel) const;

    // Writes a file (making its folders) with the given bytes.
    void Write(std::string_view rel, std::string_view bytes) const;
    void MakeFolder(std::string_view rel) const;
    std::string ReadAll(std::string_view rel) const;
    bool Has(std::string_view rel) const;

private:
    std::string path_;
};
