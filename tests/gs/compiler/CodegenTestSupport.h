// Compiling GS text to a library image in memory for the code generator's
// and the library writer's tests, reading the image back, and finding a
// function's code in it by name.
#pragma once

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "gs/compiler/CompilerTestSupport.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/image/LibraryWriter.h"
#include "gs/support/ByteBuffer.h"
#include "support/GSDisassembler.h"
#include "support/GSLibraryImage.h"
#include "support/TempFolder.h"

namespace gstest {

struct Compiled {
    int errors = -1;
    std::vector<std::string> messages;
    std::vector<uint8_t> bytes;
    gsimage::Image image;
    // The operand-stack depth each compiled function (and initialiser)
    // ended at, by signature.
    std::map<std::string, int32_t> endDepths;
};

// Compiles the file `name` of a folder as CompileScriptFile does (the
// folder searched first), but keeps the image in memory.
inline Compiled CompileInFolder(const std::string& folder, const std::string& name,
                                const std::vector<std::string>& includeFolders = {})
{
    Compiled c;
    GSCompiler::IncludePathList& list = GSCompiler::IncludePathList::Global();
    list.Clear();
    list.Append(Nyx::File::Path(folder + "/"));
    for (const std::string& extra : includeFolders)
        list.Append(Nyx::File::Path(extra + "/"));
    GSCompiler::CompilerState state;
    GSCompiler::CompileSession sink;
    c.errors = GSCompiler::CompileProgram(name, state, &sink);
    if (c.errors == 0) {
        for (const auto& cls : state.Classes()) {
            for (const auto& f : cls->functions)
                c.endDepths[f->symbol.signature] = f->code.Depth();
            c.endDepths[std::string("::") + cls->symbol.name + "()"] = cls->init.Depth();
        }
        Utils::ByteBuffer buffer;
        buffer.Init(1024);
        if (GSCompiler::WriteLibraryImage(buffer, state, &sink, name)) {
            c.bytes.assign(buffer.Data(), buffer.Data() + buffer.Size());
            c.image = gsimage::ReadImage(c.bytes);
        } else {
            c.errors = 1;
        }
    }
    list.Clear();
    c.messages = TakeLines(sink);
    return c;
}

// Compiles one text as the file "t.gs" (with other files beside it).
inline Compiled CompileText(const std::string& text, const std::map<std::string, std::string>& others = {})
{
    TempFolder dir;
    dir.Write("t.gs", text);
    for (const auto& [name, body] : others)
        dir.Write(name, body);
    return CompileInFolder(dir.Path(), "t.gs");
}

// "T::Run" for "$void@T::Run(int)"; "::T" for the initialiser "::T()".
inline std::string ShortName(const std::string& signature)
{
    const size_t at = signature.find('@');
    std::string name = at == std::string::npos ? signature : signature.substr(at + 1);
    return name.substr(0, name.find('('));
}

// The function a key names: its whole signature, "Class::name", or a name
// only one function of the image has. Null (with a failure) otherwise.
inline const gsimage::FunctionRecord* FindFunction(const gsimage::Image& image, const std::string& key)
{
    const gsimage::FunctionRecord* found = nullptr;
    int matches = 0;
    for (const gsimage::ClassRecord& cls : image.classes) {
        for (const gsimage::FunctionRecord& f : cls.functions) {
            const std::string shortName = ShortName(f.signature);
            const std::string bare = shortName.substr(shortName.find("::") + 2);
            if (f.signature == key || shortName == key || bare == key) {
                found = &f;
                ++matches;
            }
        }
    }
    EXPECT_EQ(matches, 1) << "functions named " << key;
    return matches == 1 ? found : nullptr;
}

inline std::string Code(const Compiled& c, const std::string& key)
{
    const gsimage::FunctionRecord* f = FindFunction(c.image, key);
    return f ? gsimage::Disassemble(c.image, f->code) : "(none)";
}

}  // namespace gstest
