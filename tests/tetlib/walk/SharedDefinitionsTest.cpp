// The definitions tree is shared by every job of the process: no job
// changes it, whatever its configs and however its definitions inherit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TStream.h"
#include "nyx/DynamicBuffer.h"
#include "tetlib/walk/WalkTestSupport.h"

namespace {

using tetlibtest::Thing;

class SharedDefinitionsTest : public tetlibtest::WalkFixture {
protected:
    static std::string DefinitionsText()
    {
        TETLib::DataManager& manager = TETLib::DataManager::Instance();
        manager.LoadDefinitions();
        std::unique_ptr<TBuffer> text = ConfigToTextBuffer(manager.GetDefinitions());
        return std::string(reinterpret_cast<const char*>(text->GetBuffer()->Data()), text->GetBuffer()->DataLength());
    }
};

TEST_F(SharedDefinitionsTest, NoJobChangesTheDefinitions)
{
    const std::string before = DefinitionsText();
    // A definition with rules of its own that inherits more.
    for (const std::string& config : {Thing("flag 1\n"), Thing("body\n{\n  size 1\n}\n")}) {
        Validate(config);
        EXPECT_EQ(DefinitionsText(), before) << config;
    }
}

}  // namespace
