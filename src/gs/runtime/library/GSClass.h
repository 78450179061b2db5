// One script class of a loaded library: its record in the image, read in
// place, and what linking adds (method-table targets, inherited functions,
// native bindings).
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "gs/runtime/library/GSFunction.h"
#include "gs/runtime/objects/GSValue.h"

class GSMachine;

namespace Utils {
class ByteBuffer;
}

namespace GSRuntime {

class GSContext;
class GSObject;
class ImageReader;
struct FunctionReference;

class GSClass {
public:
    static constexpr uint32_t kFlagStatic = 4;
    static constexpr uint32_t kFlagFinal = 8;
    static constexpr uint32_t kFlagGame = 64;
    static constexpr uint32_t kFlagSecured = 256;
    static constexpr const char* kGameObjectClass = "GameObject";
    // Field numbers are 16-bit in code and in the image's field records:
    // no class's block is larger.
    static constexpr uint32_t kMaxFieldWords = 0x10000;

    struct MethodEntry {
        FunctionReference* reference = nullptr;  // set by Link
        uint32_t referenceIndex = 0;
        uint32_t partOffset = 0;  // word offset of the part that becomes "me"
        GSFunction* function = nullptr;  // the reference's function, set by Link
        // The depth operand a script call of the function has (1 - its
        // parameters); kNoScriptCall when the function has no code. Set
        // by Link, so that a call checks its callee with one comparison.
        int32_t scriptCallDepth = kNoScriptCall;
        static constexpr int32_t kNoScriptCall = 1;
        // Entries from this one to the end of the table: a part whose table
        // starts here has slots below this count.
        uint32_t slotsFromHere = 0;
    };
    static_assert(sizeof(MethodEntry) == 32, "entries are found by a shift");
    // A function found through the class: the class that declares it, the
    // word offset of that class's part and the function's method slot.
    struct FunctionHit {
        GSClass* declaring = nullptr;
        uint32_t partOffset = 0;
        int32_t slot = -1;
    };
    // What each word of an instance's field block is.
    static constexpr uint8_t kFieldWord = 0;
    static constexpr uint8_t kBackOffsetWord = 1;   // word 0 of a class part
    static constexpr uint8_t kMethodTableWord = 2;  // word 1 of a class part

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
    // The own function whose signature is exactly `signature`, or null.
    GSFunction* OwnFunction(const char* signature) noexcept;
    // The index of that function, or -1.
    int32_t FindFunctionIndex(const char* signature) const noexcept;
    // The own function with that signature, else the first base (in list
    // order) that has one; false when none does.
    bool FindFunction(const char* signature, FunctionHit& hit) noexcept;
    // The first base function whose signature matches after the first "::",
    // with the base's word offset; null when none does.
    GSFunction* FindInheritedFunction(const char* signature, uint32_t& baseOffset) noexcept;
    // The index of the base in the base list, or -1.
    int32_t FindBaseIndex(const GSClass* base) const noexcept;
    // True when the class or any base has this name.
    bool IsDerivedFrom(const char* className) const noexcept;
    // The class's constructor: its last function record, when it has code.
    GSFunction* Constructor() const noexcept;
    // The word offset of this class's part in instances of `instanceClass`
    // (0 for the class itself), or -1 when it is not one of its classes.
    int64_t PartOffsetIn(const GSClass& instanceClass) const noexcept;

    // Makes the instance of this class for the object: zeroed fields, the
    // initialisers, then the base constructors from the last base to the
    // first and the class's own, each as a nested run on the machine
    // thread. A failing constructor rolls the instance back.
    bool Instantiate(GSObject& object, GSContext* context);

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
    // Per field word: kFieldWord, or a class part's own word, which no
    // script may write.
    std::vector<uint8_t> wordKinds;
    // Derives from the system library's "GameObject" (or is it).
    bool gameObjectClass = false;

private:
    int LoadFunction(ImageReader& block, GSFunction& function);
    bool CheckLayout();
    bool CheckParts();
    bool VerifyFunctions();
    bool PartTablesAgree() const;
    bool RunConstructor(GSFunction& constructor, GSSlot* part);
};

}  // namespace GSRuntime
