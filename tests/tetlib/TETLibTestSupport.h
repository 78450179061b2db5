// A copy of the shipped validation data under a temporary folder: its
// "TETData/" folder, and the interface text mounted as "data". The engine
// log goes to a file there; the library's singletons and the interface text
// are taken down after each test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include "config/results/InterfaceTextDB.h"
#include "config/results/ResultsLog.h"
#include "core/process/ProcessState.h"
#include "nyx/files/File.h"
#include "nyx/base/Log.h"
#include "resources/archive/ArchiveCache.h"
#include "support/ResultLines.h"
#include "support/TempFolder.h"
#include "tetlib/data/DataManager.h"
#include "tetlib/errors/ErrorHandler.h"

namespace tetlibtest {

using resultstest::ResultLines;

inline std::string ShippedSample() { return std::string(KESTRO_TEST_DATA_DIR) + "/../../sample"; }

class ValidationDataFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        // Meshes load through main-thread jobs, which run at once on the
        // main thread: the test's thread is it, as the tool's is.
        SetMainThreadId();
        fs::copy(ShippedSample() + "/bin/TETData", folder_ / "TETData", fs::copy_options::recursive);
        folder_.MakeFolder("data");
        fs::copy_file(ShippedSample() + "/data/interfacetext.txt", folder_ / "data/interfacetext.txt");
        Nyx::File::Subst::Add(Nyx::PString("data"), Nyx::File::Path(folder_ / "data"));
        InterfaceTextDB::UnloadForTest();
        ASSERT_TRUE(Nyx::Log::Init("-LogFile=" + LogPath()));
        TETLib::ErrorHandler::Create();
    }
    void TearDown() override
    {
        TETLib::DataManager::ReleaseVertexTypeMaterials();
        TETLib::DataManager::Destroy();
        TETLib::ErrorHandler::Destroy();
        ArchiveCache::PurgeUnused();
        Nyx::Log::Init("");
        Nyx::File::Subst::Remove(Nyx::PString("data"));
        InterfaceTextDB::UnloadForTest();
    }

    std::string DataFolder() const { return folder_ / "TETData/"; }
    std::string LogPath() const { return folder_ / "engine.log"; }
    // The manager over the copied data folder, its files not yet loaded.
    TETLib::DataManager& Manager()
    {
        TETLib::DataManager::Create(DataFolder());
        return *TETLib::DataManager::Existing();
    }
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

}  // namespace tetlibtest
