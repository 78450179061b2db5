// A "data" mount over a temporary folder for the interface-text tests, the
// engine log sent to a file there, and the process-wide table unloaded before
// and after each test.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

#include "config/formats/ConfigFile.h"
#include "config/results/InterfaceTextDB.h"
#include "nyx/files/File.h"
#include "nyx/base/Log.h"
#include "support/TempFolder.h"

class InterfaceTextFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        InterfaceTextDB::UnloadForTest();
        folder_.MakeFolder("data");
        Nyx::File::Subst::Add("data", Nyx::File::Path(folder_ / "data"));
        ASSERT_TRUE(Nyx::Log::Init("-LogFile=" + (folder_ / "engine.log")));
    }
    void TearDown() override
    {
        Nyx::Log::Init("");
        Nyx::File::Subst::Remove("data");
        InterfaceTextDB::UnloadForTest();
    }

    void WriteText(const std::string& text) { folder_.Write("data/interfacetext.txt", text); }
    void WriteChump(const ChunkRef& root)
    {
        ASSERT_TRUE(SaveConfigFile(root, "data", "interfacetext.chump"));
    }
    void WriteRawChump(const std::string& bytes) { folder_.Write("data/interfacetext.chump", bytes); }

    std::vector<std::string> LogLines() const
    {
        std::vector<std::string> lines;
        std::istringstream in(folder_.ReadAll("engine.log"));
        for (std::string line; std::getline(in, line);)
            lines.push_back(line);
        return lines;
    }

    TempFolder folder_;
};

inline const char* const kFailedCompiledLine = "InterfaceTextDB> failed to load compiled interfacetext file";
