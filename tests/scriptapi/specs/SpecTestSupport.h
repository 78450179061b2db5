// Descriptions for the registry's tests: a plain description that can refuse to stay
// registered, hold another description and tell when it is deleted, and the
// engine log caught in a file.
#pragma once

#include <filesystem>
#include <fstream>
#include <string>

#include "nyx/base/Log.h"
#include "scriptapi/specs/GlimmerkitSpec.h"
#include "support/TempFolder.h"

class TestSpec : public GlimmerkitSpec {
public:
    explicit TestSpec(const KUID& kuid, bool* deleted = nullptr, bool staysRegistered = true)
        : GlimmerkitSpec(kuid, Nyx::PString(), Nyx::String("/assets"), Nyx::String("x"), ChunkRef()),
          deleted_(deleted), staysRegistered_(staysRegistered)
    {
    }
    ~TestSpec() override
    {
        if (held_)
            held_->Release();
        if (deleted_)
            *deleted_ = true;
    }
    bool CanStayRegistered() const override { return staysRegistered_; }
    // Holds one reference on the other description until this one goes.
    void Hold(GlimmerkitSpec* other)
    {
        other->AddReference();
        held_ = other;
    }

private:
    bool* deleted_;
    bool staysRegistered_;
    GlimmerkitSpec* held_ = nullptr;
};

// Sends the engine log to a file for the life of the object.
class CaughtLog {
public:
    CaughtLog() : path_(folder_.Path() + "/log.txt") { Nyx::Log::Init("-LogFile=" + path_); }
    ~CaughtLog() { Nyx::Log::Init(""); }
    std::string Text() const
    {
        std::ifstream in(path_);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

private:
    TempFolder folder_;
    std::string path_;
};
