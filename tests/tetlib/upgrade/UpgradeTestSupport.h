// Config trees in and out of the legacy upgrade as compact text: the config
// text read into a tree, and the tree written back with one "|" between
// lines and blanks runs folded, so a golden tree fits on a line.
#pragma once

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <string_view>

#include "config/formats/ConfigText.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "tetlib/TETLibTestSupport.h"
#include "tetlib/mesh/FakeMeshInspection.h"

namespace tetlibtest {

inline ChunkRef ReadTree(std::string_view text)
{
    TBuffer in;
    in.GetBuffer()->Write(text.data(), static_cast<uint32_t>(text.size()), 1);
    in.GetBuffer()->Seek(0);
    ChunkRef root;
    ReadConfigText(root, in, true);
    root.EnsureContainer();
    return root;
}

inline std::string CompactTree(const ChunkRef& root)
{
    TBuffer out;
    WriteConfigText(out, root);
    std::string text(reinterpret_cast<const char*>(out.GetBuffer()->Data()), out.GetBuffer()->DataLength());
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    std::string compact;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        std::string folded;
        for (char c : line) {
            if (c == '\r')
                continue;
            if (c == ' ' && (folded.empty() || folded.back() == ' '))
                continue;
            folded += c;
        }
        while (!folded.empty() && folded.back() == ' ')
            folded.pop_back();
        if (folded.empty())
            continue;
        if (!compact.empty())
            compact += '|';
        compact += folded;
    }
    return compact;
}

// The shipped definitions, a content root with the asset folder
// "local/asset" under check, and a fake mesh inspection.
class UpgradeFixture : public ValidationDataFixture {
protected:
    void SetUp() override
    {
        ValidationDataFixture::SetUp();
        SetContentRootPath(Nyx::File::Path(folder_.Path()));
        Manager();
        manager_ = &TETLib::DataManager::Instance();
        manager_->LoadDefinitions();
        manager_->SetCurrentAssetFolder(Nyx::File::Path("local/asset"), nullptr);
        manager_->assetBuild = 2.5f;
        TETLib::ErrorHandler::Instance()->Clear();
    }
    void TearDown() override
    {
        manager_->CollectGarbage();
        ValidationDataFixture::TearDown();
        SetContentRootPath(Nyx::File::Path());
    }

    // A mesh of the asset folder with these attachment points.
    void Serve(const std::string& file, std::vector<std::string> points)
    {
        fake_.meshes["local/asset/" + file] = FakeMesh().Points(std::move(points));
    }

    TETLib::DataManager* manager_ = nullptr;
    FakeMeshInspection fake_;
};

}  // namespace tetlibtest
