#include "nyx/gfx/display/ProgramManagers.h"

#include <cstdlib>
#include <sstream>

#include "nyx/RenderKernel.h"
#include "nyx/gfx/display/Display.h"
#include "nyx/gfx/display/TextureCombiner.h"
#include "nyx/gfx/display/VertexProgram.h"

namespace Nyx {

namespace {

std::string Trim(const std::string& s)
{
    const size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    const size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line))
        lines.push_back(Trim(line));
    return lines;
}

// "word(a, b, c)" into its arguments; false for another word or shape.
bool Call(const std::string& line, const std::string& word, std::vector<std::string>& args)
{
    args.clear();
    if (line.compare(0, word.size() + 1, word + "(") != 0 || line.back() != ')')
        return false;
    std::string inner = line.substr(word.size() + 1, line.size() - word.size() - 2);
    size_t pos = 0;
    while (pos <= inner.size()) {
        const size_t comma = inner.find(',', pos);
        const size_t end = comma == std::string::npos ? inner.size() : comma;
        args.push_back(Trim(inner.substr(pos, end - pos)));
        if (comma == std::string::npos)
            break;
        pos = comma + 1;
    }
    return true;
}

// The lines of the block that follows "word(name)", between its braces.
bool Block(const std::vector<std::string>& lines, const std::string& word, const std::string& name,
           std::vector<std::string>& body)
{
    std::vector<std::string> args;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!Call(lines[i], word, args) || args.size() != 1 || args[0] != name)
            continue;
        if (i + 1 >= lines.size() || lines[i + 1] != "{")
            return false;
        for (size_t j = i + 2; j < lines.size(); ++j) {
            if (lines[j] == "}")
                return true;
            if (!lines[j].empty())
                body.push_back(lines[j]);
        }
        return false;
    }
    return false;
}

bool ParseFloat(const std::string& text, float& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    out = std::strtof(text.c_str(), &end);
    return end && *end == '\0';
}

Display* DisplayOf(RenderKernel* kernel) { return kernel ? &kernel->GetDisplay() : nullptr; }

}  // namespace

VertexProgramManager::~VertexProgramManager()
{
    for (auto& entry : loaded_)
        entry.second->Release();
}

void VertexProgramManager::RegisterBuiltInPrograms(const std::string& setName, const std::string& text)
{
    texts_[setName] = text;
    ++registrations_;
}

std::map<std::string, std::vector<std::string>> VertexProgramManager::ParseDeclarations(const std::string& setName,
                                                                                        const std::string& text)
{
    std::map<std::string, std::vector<std::string>> programs;
    std::vector<std::string> body;
    if (!Block(Lines(text), "vertexProgram", setName, body))
        return programs;
    std::vector<std::string> args;
    for (const std::string& line : body) {
        // program(name, layout, section, ...)
        if (!Call(line, "program", args) || args.size() < 2 || args[0].empty())
            continue;
        programs[args[0]] = std::vector<std::string>(args.begin() + 2, args.end());
    }
    return programs;
}

uint32_t VertexProgramManager::LoadVertexProgram(const std::string& setName, const std::string& programName,
                                                 RenderKernel* kernel, VertexProgram*& out, int32_t /*options*/,
                                                 int32_t /*flags*/)
{
    out = nullptr;
    ++loads_;
    if (!kernel)
        return kProgramNoKernel;
    if (refused_.count(programName))
        return kProgramRefused;
    const std::string key = setName + "/" + programName;
    if (auto it = loaded_.find(key); it != loaded_.end()) {
        out = it->second;
        out->AddRef();
        return kProgramLoaded;
    }
    auto text = texts_.find(setName);
    if (text == texts_.end())
        return kProgramUnknownText;
    const auto programs = ParseDeclarations(setName, text->second);
    auto program = programs.find(programName);
    if (program == programs.end())
        return kProgramUndeclared;
    auto* loaded = new VertexProgram(setName, programName, program->second, text->second, DisplayOf(kernel));
    loaded->AddRef();
    loaded_[key] = loaded;
    loaded->AddRef();
    out = loaded;
    return kProgramLoaded;
}

void VertexProgramManager::SetRefused(const std::string& programName, bool refused)
{
    if (refused)
        refused_.insert(programName);
    else
        refused_.erase(programName);
}

TextureCombinerManager::~TextureCombinerManager()
{
    for (auto& entry : loaded_)
        entry.second->Release();
}

void TextureCombinerManager::RegisterBuiltInPrograms(const std::string& name, const std::string& text)
{
    texts_[name] = text;
    ++registrations_;
}

uint32_t TextureCombinerManager::LoadTextureCombiner(const std::string& name, RenderKernel* kernel,
                                                     TextureCombiner*& out)
{
    out = nullptr;
    ++loads_;
    if (!kernel)
        return kProgramNoKernel;
    if (refused_.count(name))
        return kProgramRefused;
    if (auto it = loaded_.find(name); it != loaded_.end()) {
        out = it->second;
        out->AddRef();
        return kProgramLoaded;
    }
    auto text = texts_.find(name);
    if (text == texts_.end())
        return kProgramUnknownText;
    std::vector<std::string> body;
    if (!Block(Lines(text->second), "header", name, body))
        return kProgramUndeclared;
    TextureCombiner::RegisterNames names;
    TextureCombiner::Registers defaults{};
    std::vector<std::string> args;
    for (const std::string& line : body) {
        // constant(index, name, r, g, b, a)
        if (!Call(line, "constant", args) || args.size() != 6)
            continue;
        char* end = nullptr;
        const unsigned long index = std::strtoul(args[0].c_str(), &end, 10);
        float rgba[4];
        if (!end || *end != '\0' || index >= TextureCombiner::kRegisterCount || !ParseFloat(args[2], rgba[0]) ||
            !ParseFloat(args[3], rgba[1]) || !ParseFloat(args[4], rgba[2]) || !ParseFloat(args[5], rgba[3]))
            continue;
        names[index] = args[1];
        defaults[index] = {rgba[0], rgba[1], rgba[2], rgba[3]};
    }
    auto* loaded = new TextureCombiner(name, names, defaults, text->second, DisplayOf(kernel));
    loaded->AddRef();
    loaded_[name] = loaded;
    loaded->AddRef();
    out = loaded;
    return kProgramLoaded;
}

void TextureCombinerManager::SetRefused(const std::string& name, bool refused)
{
    if (refused)
        refused_.insert(name);
    else
        refused_.erase(name);
}

}  // namespace Nyx
