// The validation data of the rule and writer tests: the walk tests' data
// with the definitions of tests/data/tetlib/rules in place of its kinds
// and containers; one definition per rule and per writer under the kind
// "ruled".
#pragma once

#include <filesystem>
#include <string>

#include "tetlib/walk/WalkTestSupport.h"

namespace tetlibtest {

// A config of the kind "ruled" with its compulsory tags, then `body`.
inline std::string Ruled(const std::string& body, const char* build = "3.0")
{
    return std::string("kuid <kuid:1:1>\nusername \"u\"\nkind \"ruled\"\nkestro-build ") + build + "\n" + body;
}

class RulesFixture : public WalkFixture {
protected:
    void SetUp() override
    {
        namespace fs = std::filesystem;
        WalkFixture::SetUp();
        for (const auto& entry : fs::directory_iterator(std::string(KESTRO_TEST_DATA_DIR) + "/tetlib/rules"))
            fs::copy_file(entry.path(), folder_ / ("TETData/" + entry.path().filename().string()),
                          fs::copy_options::overwrite_existing);
    }
};

}  // namespace tetlibtest
