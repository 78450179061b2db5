// The validation data of the walk tests: the shipped interface text with
// the definitions of tests/data/tetlib/walk in place of the shipped ones,
// and a content root in the same temporary folder. Configs are validated
// by the job from "local/<name>/", or checked in process by a container
// that stays for inspection.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tetlib/TETLibTestSupport.h"
#include "config/formats/ConfigFile.h"
#include "config/results/ResultsLog.h"
#include "core/files/ContentRoot.h"
#include "tetlib/container/Container.h"
#include "tetlib/steps/ValidateAssetJob.h"

namespace tetlibtest {

// A config of the kind "thing" with its compulsory tags, then `body`.
inline std::string Thing(const std::string& body, const char* build = "3.0")
{
    return std::string("kuid <kuid:1:1>\nusername \"u\"\nkind \"thing\"\nkestro-build ") + build + "\n" + body;
}

class WalkFixture : public ValidationDataFixture {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        ValidationDataFixture::SetUp();
        for (const auto& entry : fs::directory_iterator(std::string(KESTRO_TEST_DATA_DIR) + "/tetlib/walk"))
            fs::copy_file(entry.path(), folder_ / ("TETData/" + entry.path().filename().string()),
                          fs::copy_options::overwrite_existing);
        SetContentRootPath(Nyx::File::Path(folder_.Path()));
        Manager();
    }
    void TearDown() override
    {
        ValidationDataFixture::TearDown();
        SetContentRootPath(Nyx::File::Path());
    }

    // The job's results for the config in local/<name>/.
    std::vector<std::string> Validate(const std::string& config, bool* valid = nullptr,
                                      const std::string& name = "asset")
    {
        folder_.Write("local/" + name + "/config.txt", config);
        ResultsLog log;
        const bool result =
            TETLib::RunValidateAssetJob(Nyx::PString(), Nyx::File::Path(folder_ / ("local/" + name)), log);
        if (valid)
            *valid = result;
        return ResultLines(log);
    }

    // The container after checking the config in process; its findings
    // stay with the error handler.
    std::unique_ptr<TETLib::Container> Checked(const std::string& text, bool* valid = nullptr)
    {
        folder_.Write("checked.txt", text);
        ChunkRef config;
        LoadConfigFile(config, nullptr, (folder_ / "checked.txt").c_str());
        TETLib::DataManager::Instance().LoadDefinitions();
        TETLib::ErrorHandler::Instance()->Clear();
        auto container = std::make_unique<TETLib::Container>();
        const bool result = container->Check(config);
        if (valid)
            *valid = result;
        return container;
    }

    static std::vector<std::string> Findings()
    {
        std::vector<std::string> out;
        for (const auto& m : TETLib::ErrorHandler::Instance()->GetMessages())
            out.push_back(std::to_string(m->severity) + " " + m->key.Str());
        return out;
    }

    static std::vector<std::string> TagNames(const TETLib::Container::TagList& tags)
    {
        std::vector<std::string> out;
        for (const auto& tag : tags)
            out.push_back(tag->name.Str());
        return out;
    }

    static const TETLib::Tag* FindTag(const TETLib::Container& container, const char* name)
    {
        for (const auto& tag : container.GetTags())
            if (tag->name.View() == name)
                return tag.get();
        return nullptr;
    }
};

}  // namespace tetlibtest
