// The system library's source, data/scripts/gs.gs, against the bindings the
// machine registers and the image the tests build for it: every native it
// declares is bound under exactly the signature the compiler will give it.
#include <gtest/gtest.h>

#include <fstream>
#include <regex>
#include <sstream>

#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "support/GSProgramBuilder.h"

namespace {

struct Declarations {
    std::vector<std::string> natives;  // signatures, in order
    std::vector<std::string> fields;   // "Class.type name"
};

Declarations Read()
{
    std::ifstream in(std::string(KESTRO_TEST_DATA_DIR) + "/../../data/scripts/gs.gs");
    EXPECT_TRUE(in.good());
    Declarations d;
    const std::regex cls(R"(^\s*(?:static\s+)?class\s+(\w+))");
    const std::regex native(R"(^\s*public\s+native\s+(\w+)\s+(\w+)\s*\(([^)]*)\)\s*;)");
    const std::regex field(R"(^\s*public\s+(\w+)\s+(\w+)\s*;)");
    std::string line, current;
    std::smatch m;
    while (std::getline(in, line)) {
        if (std::regex_search(line, m, cls)) {
            current = m[1];
        } else if (std::regex_search(line, m, native)) {
            std::string params = m[3], types;
            if (params != "void") {
                std::stringstream list(params);
                std::string param;
                while (std::getline(list, param, ',')) {
                    std::stringstream words(param);
                    std::string type;
                    words >> type;
                    types += (types.empty() ? "" : ",") + type;
                }
            }
            d.natives.push_back("$" + std::string(m[1]) + "@" + current + "::" + std::string(m[2]) + "(" + types + ")");
        } else if (std::regex_search(line, m, field)) {
            d.fields.push_back(current + "." + std::string(m[1]) + " " + std::string(m[2]));
        }
    }
    return d;
}

}  // namespace

TEST(SystemLibrarySourceTest, ItsNativesAreTheBuiltInBindings)
{
    const Declarations d = Read();
    GSMachine machine;
    machine.RegisterBuiltinNatives();
    // The built-ins come first; Math and Str follow them.
    std::vector<std::string> bound;
    const auto& list = machine.Natives();
    for (auto* node = list.First(); node && bound.size() < d.natives.size(); node = list.After(*node))
        bound.emplace_back(static_cast<GSRuntime::GSNativeFunction*>(node)->Signature().View());
    EXPECT_EQ(d.natives, bound);
    EXPECT_EQ(d.natives.size(), 15u);

    std::vector<std::string> built;
    GSProgram system = SystemProgram();
    system.Build();
    for (const GSLibraryBuilder::Class& c : system.b.classes) {
        for (const GSLibraryBuilder::Function& f : c.functions) {
            if (f.flags & 2)
                built.push_back(f.signature);
        }
    }
    EXPECT_EQ(d.natives, built);
}

TEST(SystemLibrarySourceTest, MessageHoldsItsFourReferenceFields)
{
    EXPECT_EQ(Read().fields, (std::vector<std::string>{"Message.string major", "Message.string minor",
                                                       "Message.GameObject source",
                                                       "Message.GameObject destination"}));
}
