// One script class of a loaded library: its record in the image, read in
// place, and what linking adds (method-table targets, inherited functions,
// native bindings).
#pragma once

#include <cstdint>
#include <memory>

#include "gs/runtime/library/GSFunction.h"

class GSMachine;

namespace Utils {
class ByteBuffer;
}

namespace GSRuntime {

class ImageReader;
struct FunctionReference;

class GSClass {
public:
    static constexpr uint32_t kFlagStatic = 4;
    static constexpr uint32_t kFlagFinal = 8;
    static constexpr uint32_t kFlagGame = 64;
    static constexpr uint32_t kFlagSecured = 256;

    struct MethodEntry {
        FunctionReference* reference = nullptr;  // set by Link
        uint32_t referenceIndex = 0;
        uint32_t partOffset = 0;  // word offset of the part that becomes "me"
    };

    GSClass() = default;
    GSClass(const GSClass&) = delete;
    GSClass& operator=(const GSClass&) = delete;
    virtual ~GSClass() = default;

    // Reads the class record the reader stands at; 0, or -1 for a record
    // that breaks the image's rules (nothing is logged here).
    int Load(ImageReader& section, GSLibrary& library, uint32_t index, GSMachine& machine);
    bool Link();

    // Base list entries: {class-reference index, word offset, unused}.
    uint32_t BaseClassRef(uint32_t i) const noexcept;
    uint32_t BaseOffset(uint32_t i) const noexcept;
    GSClass* BaseClass(uint32_t i) const noexcept;
    uint32_t ObjectField(uint32_t i) const noexcept;
    // Initialisers: {kind, field word, value}.
    uint32_t InitialiserWord(uint32_t i, uint32_t word) const noexcept;
    // The function whose signature is exactly `signature`, or null.
    GSFunction* FindFunction(const char* signature) noexcept;

    GSMachine* machine = nullptr;
    GSLibrary* library = nullptr;
    const char* name = nullptr;
    uint32_t flags = 0;
    uint32_t index = 0;
    uint32_t baseCount = 0;
    const uint8_t* bases = nullptr;
    uint32_t functionCount = 0;
    std::unique_ptr<GSFunction[]> functions;
    uint32_t memberCount = 0;
    const uint8_t* members = nullptr;
    uint32_t methodCount = 0;
    std::unique_ptr<MethodEntry[]> methods;
    uint32_t fieldCount = 0;
    uint32_t initialiserCount = 0;
    const uint8_t* initialisers = nullptr;
    uint32_t objectFieldCount = 0;
    const uint8_t* objectFields = nullptr;

private:
    int LoadFunction(ImageReader& block, GSFunction& function);
    bool CheckLayout() const noexcept;
    bool VerifyFunctions();
};

}  // namespace GSRuntime
