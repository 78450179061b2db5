// A loaded ".gsl" library: the file's bytes, which it owns and which its
// strings, tables, class records and code point into, and the tables that
// linking resolves against other libraries.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gs/runtime/library/GSClass.h"
#include "gs/support/ByteBuffer.h"
#include "gs/support/DoubleLinkList.h"
#include "nyx/base/String.h"

class GSMachine;

namespace GSRuntime {

struct Dependency {
    GSLibrary* library = nullptr;
    uint32_t idLow = 0;
    uint32_t idHigh = 0;
};

struct ClassReference {
    GSLibrary* library = nullptr;
    const char* name = nullptr;
    GSClass* cls = nullptr;
};

struct FunctionReference {
    GSClass* cls = nullptr;
    const char* name = nullptr;
    uint32_t slot = 0;  // as the compiler wrote it
    GSFunction* function = nullptr;
};

class GSLibrary : public Utils::IDoubleLinkListNode {
public:
    static constexpr uint32_t kMagic = 0xF762575D;

    explicit GSLibrary(GSMachine& owner) : machine(&owner) {}
    ~GSLibrary() override = default;

    // Searched from the last class to the first; exact bytes.
    GSClass* FindClass(const char* className) const noexcept;

    GSMachine* machine;
    Utils::ByteBuffer buffer;
    float version = 0;
    uint32_t idLow = 0;
    uint32_t idHigh = 0;
    std::vector<Dependency> dependencies;
    std::vector<const char*> strings;
    std::vector<Nyx::String> stringCopies;
    const uint8_t* classRefRecords = nullptr;  // {dependency index, name index}
    std::vector<ClassReference> classRefs;
    const uint8_t* functionRefRecords = nullptr;  // {class-reference index, name index, slot}
    std::vector<FunctionReference> functionRefs;
    uint32_t classCount = 0;
    std::unique_ptr<GSClass[]> classes;
    Nyx::String name;
};

}  // namespace GSRuntime
