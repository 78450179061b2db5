// Holder of one script source, loaded from and saved to its plain (".gs") or
// scrambled (".gse") form, chosen by the file's extension.
#pragma once

#include <cstdint>
#include <string>

#include "nyx/File.h"
#include "nyx/PString.h"

class ScriptFileStore {
public:
    ScriptFileStore() = default;
    ScriptFileStore(const ScriptFileStore&) = delete;
    ScriptFileStore& operator=(const ScriptFileStore&) = delete;
    ~ScriptFileStore() = default;

    // The container, when not empty, is the mount or folder the path is
    // taken in. False when the file cannot be read or its extension is
    // neither "gs" nor "gse".
    bool Open(const Nyx::PString& container, const Nyx::File::Path& path);
    // False when the target's form cannot be written.
    bool Save(const Nyx::PString& container, const Nyx::File::Path& path);

    const char* GetText() const noexcept { return text_.c_str(); }
    uint32_t GetLength() const noexcept { return static_cast<uint32_t>(text_.size()); }
    uint32_t GetPrefixLength() const noexcept { return 0; }

private:
    std::string text_;
    bool loaded_ = false;
};
