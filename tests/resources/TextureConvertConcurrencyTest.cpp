// The texture-convert job over a tree of 50 descriptions: the write steps
// of many files run on several workers at once while the main thread opens
// and cleans up the others.
#include <gtest/gtest.h>

#include <string>

#include "core/files/ContentRoot.h"
#include "core/process/ProcessState.h"
#include "resources/TextureTestSupport.h"
#include "resources/archive/ArchiveCache.h"
#include "resources/textures/TextureConvert.h"
#include "support/TempFolder.h"

namespace {

TEST(TextureConvertConcurrencyTest, FiftyTexturesConvertOnTheWorkers)
{
    SetMainThreadId();
    TempFolder root;
    const Nyx::File::Path before = GetContentRootPath();
    SetContentRootPath(Nyx::File::Path(root.Path()));
    constexpr int kFiles = 50;
    for (int i = 0; i < kFiles; ++i) {
        const std::string body = "editing/tree/" + std::to_string(i % 5) + "/t" + std::to_string(i);
        root.Write(body + ".tga", texturetest::Tga32(32, 32, texturetest::Gradient));
        // Every seventh fails to load, so errors are reported concurrently too.
        root.Write(body + ".texture.txt", i % 7 == 3 ? std::string("Primary=missing.tga\n")
                                                     : "Primary=t" + std::to_string(i) + ".tga\nHint=" +
                                                           std::to_string(i % 4) + "\n");
    }
    ResultsLog log;
    EXPECT_EQ(RunTextureConvertFolder(Nyx::PString(), Nyx::File::Path(root / "editing/tree"), log),
              kTexturesNotConverted);
    int converted = 0;
    for (int i = 0; i < kFiles; ++i) {
        const std::string body = "editing/tree/" + std::to_string(i % 5) + "/t" + std::to_string(i);
        EXPECT_TRUE(root.Has(body + ".texture.txt")) << body;
        if (root.Has(body + ".texture") && texturetest::ReadCompiled(root.ReadAll(body + ".texture")).valid)
            ++converted;
    }
    EXPECT_EQ(converted, kFiles - 7);
    EXPECT_EQ(log.GetErrorCount(), 7u);
    ArchiveCache::PurgeUnused();
    SetContentRootPath(before);
}

}  // namespace
