// The render device's program managers: texts registered by name (the
// program's own built-in texts among them), and programs loaded by name
// from them. A load reads the registered text's block headers, so a name
// the text does not declare fails. Loaded programs are kept and handed out
// again. Tests make chosen names fail to load.
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace Nyx {

class RenderKernel;
class TextureCombiner;
class VertexProgram;

// Load results.
enum ProgramLoadResult : uint32_t {
    kProgramLoaded = 0,
    kProgramUnknownText = 1,  // nothing registered under that name
    kProgramUndeclared = 2,   // the text declares no program of that name
    kProgramNoKernel = 3,
    kProgramRefused = 4,  // a test made it fail
};

class VertexProgramManager {
public:
    VertexProgramManager() = default;
    VertexProgramManager(const VertexProgramManager&) = delete;
    VertexProgramManager& operator=(const VertexProgramManager&) = delete;
    ~VertexProgramManager();

    // Makes the text of a vertex-program set known under the set's name; a
    // later registration replaces the text (programs already loaded keep
    // theirs).
    void RegisterBuiltInPrograms(const std::string& setName, const std::string& text);
    bool IsRegistered(const std::string& setName) const { return texts_.count(setName) != 0; }
    uint32_t GetRegistrationCount() const noexcept { return registrations_; }

    // The program of the set, with one reference for the caller in `out`
    // (null on failure). The two values are the engine's and are kept.
    uint32_t LoadVertexProgram(const std::string& setName, const std::string& programName, RenderKernel* kernel,
                               VertexProgram*& out, int32_t options, int32_t flags);
    uint32_t GetLoadCount() const noexcept { return loads_; }

    void SetRefused(const std::string& programName, bool refused);

    // The program names a set's text declares, with their sections; empty
    // when the text has no declaration block for that set.
    static std::map<std::string, std::vector<std::string>> ParseDeclarations(const std::string& setName,
                                                                             const std::string& text);

private:
    std::map<std::string, std::string> texts_;
    std::map<std::string, VertexProgram*> loaded_;  // "set/program"
    std::set<std::string> refused_;
    uint32_t registrations_ = 0;
    uint32_t loads_ = 0;
};

class TextureCombinerManager {
public:
    TextureCombinerManager() = default;
    TextureCombinerManager(const TextureCombinerManager&) = delete;
    TextureCombinerManager& operator=(const TextureCombinerManager&) = delete;
    ~TextureCombinerManager();

    void RegisterBuiltInPrograms(const std::string& name, const std::string& text);
    bool IsRegistered(const std::string& name) const { return texts_.count(name) != 0; }
    uint32_t GetRegistrationCount() const noexcept { return registrations_; }

    uint32_t LoadTextureCombiner(const std::string& name, RenderKernel* kernel, TextureCombiner*& out);
    uint32_t GetLoadCount() const noexcept { return loads_; }

    void SetRefused(const std::string& name, bool refused);

private:
    std::map<std::string, std::string> texts_;
    std::map<std::string, TextureCombiner*> loaded_;
    std::set<std::string> refused_;
    uint32_t registrations_ = 0;
    uint32_t loads_ = 0;
};

}  // namespace Nyx
