#include "gs/runtime/library/GSClass.h"

#include <cstring>
#include <string_view>
#include <vector>

#include "core/streams/LittleEndian.h"
#include "gs/runtime/interp/Quickening.h"
#include "gs/runtime/library/FunctionSignature.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/registry/GSNativeFunction.h"
#include "gs/runtime/library/ImageReader.h"
#include "gs/support/ScriptLogHook.h"
#include "gs/support/bytecode/Opcodes.h"

namespace GSRuntime {

namespace {

constexpr uint32_t kTagClass = 7;
constexpr uint32_t kTagFunctions = 8;
constexpr uint32_t kTagFunction = 9;
constexpr uint32_t kTagMembers = 10;
constexpr uint32_t kTagMethods = 11;
constexpr uint32_t kTagLayout = 12;
constexpr uint32_t kLineMarker = 0x6462676C;  // "lgbd"
constexpr uint32_t kMemberRecord = 20;
// Length, tag, name, eight words, parameter count, two dropped words, the
// object-local count and the code size.
constexpr uint32_t kMinFunctionRecord = 16 * 4;
// The slots of a thread's stack: no frame may need more.
constexpr int64_t kStackSlots = GSBytecode::kThreadStackSlots;

// The method name and argument list: what follows the first "::".
const char* AfterScope(const char* signature)
{
    const char* p = std::strstr(signature, "::");
    return p ? p + 2 : nullptr;
}

bool FrameFits(const GSFunction& f)
{
    // The locals base lies parameterCount - 1 slots below the top; the
    // frame record closes the added slots; the whole frame, arguments
    // included, fits an empty stack.
    return f.parameterCount >= 1 && f.parameterCount <= kStackSlots &&
           f.localsBase == 1 - static_cast<int64_t>(f.parameterCount) && f.frameRecord >= 1 &&
           int64_t(f.frameGrowth) == int64_t(f.frameRecord) + 3 && f.frameReserve >= f.frameGrowth &&
           int64_t(f.parameterCount) - 1 + f.frameReserve <= kStackSlots;
}

constexpr uint32_t kObjectType = 5;
constexpr uint32_t kObjectArrayType = 11;
constexpr std::string_view kArraySuffix = "[]";

// Native code calls a function by its signature and goes by it: the
// result's kind, the arguments' count and which of them are references
// (the frame releases exactly the listed ones). A record must say the same
// as its own signature; a native has no code and a thread returns nothing.
bool RecordAgreesWithSignature(const GSFunction& f, const GSLibrary& library)
{
    FunctionSignature signature;
    if (!FunctionSignature::Parse(f.name, signature) || f.returnType != signature.ReturnCode() ||
        f.parameterCount != signature.ArgumentCount() + 1)
        return false;
    for (uint32_t a = 0; a < signature.ArgumentCount(); ++a) {
        bool listed = false;
        for (uint32_t i = 0; i < f.objectLocalCount && !listed; ++i)
            listed = f.ObjectLocal(i) == a + 1;
        if (listed != IsReferenceTypeCode(TypeCodeOf(signature.Argument(a))))
            return false;
    }
    if (f.returnClassRef >= 0) {
        // The class a value of the return type is of.
        std::string_view returned = signature.returns;
        if (f.returnType == kObjectArrayType)
            returned.remove_suffix(kArraySuffix.size());
        else if (f.returnType != kObjectType)
            return false;
        const uint32_t nameIndex = LoadLE32(library.classRefRecords + 8 * uint32_t(f.returnClassRef) + 4);
        if (returned != library.strings[nameIndex])
            return false;
    }
    if ((f.flags & GSFunction::kFlagNative) && f.codeSize != 0)
        return false;
    if ((f.flags & GSFunction::kFlagThread) && (f.returnType != 0 || (f.flags & GSFunction::kFlagNative)))
        return false;
    return true;
}

}  // namespace

uint32_t GSClass::BaseClassRef(uint32_t i) const noexcept { return LoadLE32(bases + 12 * i); }

uint32_t GSClass::BaseOffset(uint32_t i) const noexcept { return LoadLE32(bases + 12 * i + 4); }

GSClass* GSClass::BaseClass(uint32_t i) const noexcept { return library->classRefs[BaseClassRef(i)].cls; }

uint32_t GSClass::ObjectField(uint32_t i) const noexcept { return LoadLE32(objectFields + 4 * i); }

uint32_t GSClass::InitialiserWord(uint32_t i, uint32_t word) const noexcept
{
    return LoadLE32(initialisers + 12 * i + 4 * word);
}

GSFunction* GSClass::OwnFunction(const char* signature) noexcept
{
    int32_t i = FindFunctionIndex(signature);
    return i < 0 ? nullptr : &functions[i];
}

int32_t GSClass::FindFunctionIndex(const char* signature) const noexcept
{
    for (uint32_t i = 0; i < functionCount; ++i) {
        if (std::strcmp(functions[i].name, signature) == 0)
            return int32_t(i);
    }
    return -1;
}

bool GSClass::FindFunction(const char* signature, FunctionHit& hit) noexcept
{
    if (GSFunction* own = OwnFunction(signature)) {
        hit = FunctionHit{this, 0, own->methodSlot};
        return true;
    }
    for (uint32_t b = 0; b < baseCount; ++b) {
        if (GSFunction* f = BaseClass(b)->OwnFunction(signature)) {
            hit = FunctionHit{BaseClass(b), BaseOffset(b), f->methodSlot};
            return true;
        }
    }
    return false;
}

GSFunction* GSClass::FindInheritedFunction(const char* signature, uint32_t& baseOffset) noexcept
{
    const char* method = AfterScope(signature);
    for (uint32_t b = 0; method && b < baseCount; ++b) {
        GSClass* base = BaseClass(b);
        for (uint32_t j = 0; j < base->functionCount; ++j) {
            const char* other = AfterScope(base->functions[j].name);
            if (other && std::strcmp(method, other) == 0) {
                baseOffset = BaseOffset(b);
                return &base->functions[j];
            }
        }
    }
    return nullptr;
}

int32_t GSClass::FindBaseIndex(const GSClass* base) const noexcept
{
    for (uint32_t b = 0; b < baseCount; ++b) {
        if (BaseClass(b) == base)
            return int32_t(b);
    }
    return -1;
}

bool GSClass::IsDerivedFrom(const char* className) const noexcept
{
    if (std::strcmp(name, className) == 0)
        return true;
    for (uint32_t b = baseCount; b-- > 0;) {
        const GSClass* base = BaseClass(b);
        if (base && std::strcmp(base->name, className) == 0)
            return true;
    }
    return false;
}

GSFunction* GSClass::Constructor() const noexcept
{
    if (functionCount == 0 || functions[functionCount - 1].codeSize == 0)
        return nullptr;
    return &functions[functionCount - 1];
}

int64_t GSClass::PartOffsetIn(const GSClass& instanceClass) const noexcept
{
    if (&instanceClass == this)
        return 0;
    for (uint32_t b = instanceClass.baseCount; b-- > 0;) {
        if (instanceClass.BaseClass(b) == this)
            return instanceClass.BaseOffset(b);
    }
    return -1;
}

int GSClass::Load(ImageReader& section, GSLibrary& owner, uint32_t classIndex, GSMachine& owningMachine)
{
    machine = &owningMachine;
    library = &owner;
    index = classIndex;
    const uint32_t stringCount = static_cast<uint32_t>(owner.strings.size());
    const uint32_t classRefCount = static_cast<uint32_t>(owner.classRefs.size());

    ImageReader record;
    uint32_t nameIndex;
    if (!section.Enter(kTagClass, record) || !record.U32(nameIndex) || nameIndex >= stringCount)
        return -1;
    name = owner.strings[nameIndex];
    if (!record.U32(flags) || !record.Count(baseCount, 12))
        return -1;
    bases = record.InPlace(baseCount, 12);
    for (uint32_t i = 0; i < baseCount; ++i) {
        if (BaseClassRef(i) >= classRefCount)
            return -1;
    }

    ImageReader block;
    if (!record.Enter(kTagFunctions, block) || !block.Count(functionCount, kMinFunctionRecord))
        return -1;
    if (functionCount)
        functions = std::make_unique<GSFunction[]>(functionCount);
    for (uint32_t i = 0; i < functionCount; ++i) {
        functions[i].owner = this;
        functions[i].library = &owner;
        if (LoadFunction(block, functions[i]) != 0)
            return -1;
    }
    if (!record.Leave(block))
        return -1;

    if (!record.Enter(kTagMembers, block) || !block.Count(memberCount, kMemberRecord))
        return -1;
    members = block.InPlace(memberCount, kMemberRecord);
    if (!record.Leave(block))
        return -1;

    if (!record.Enter(kTagMethods, block) || !block.Count(methodCount, 8))
        return -1;
    const uint8_t* entries = block.InPlace(methodCount, 8);
    if (methodCount)
        methods = std::make_unique<MethodEntry[]>(methodCount);
    for (uint32_t i = 0; i < methodCount; ++i) {
        methods[i].referenceIndex = LoadLE32(entries + 8 * i);
        methods[i].partOffset = LoadLE32(entries + 8 * i + 4);
        if (methods[i].referenceIndex >= owner.functionRefs.size())
            return -1;
    }
    if (!record.Leave(block))
        return -1;

    if (!record.Enter(kTagLayout, block) || !block.U32(fieldCount) || !block.Count(initialiserCount, 12))
        return -1;
    initialisers = block.InPlace(initialiserCount, 12);
    if (!block.Count(objectFieldCount, 4))
        return -1;
    objectFields = block.InPlace(objectFieldCount, 4);
    if (!record.Leave(block) || !section.Leave(record))
        return -1;

    return CheckLayout() && VerifyFunctions() ? 0 : -1;
}

int GSClass::LoadFunction(ImageReader& block, GSFunction& f)
{
    const uint32_t stringCount = static_cast<uint32_t>(library->strings.size());
    ImageReader record;
    uint32_t nameIndex, dropped;
    if (!block.Enter(kTagFunction, record) || !record.U32(nameIndex) || nameIndex >= stringCount)
        return -1;
    f.name = library->strings[nameIndex];
    if (!record.U32(f.returnType) || !record.S32(f.returnClassRef) || !record.U32(f.flags) ||
        !record.S32(f.methodSlot) || !record.S32(f.frameGrowth) || !record.S32(f.localsBase) ||
        !record.S32(f.frameRecord) || !record.S32(f.frameReserve) || !record.U32(f.parameterCount) ||
        !record.U32(dropped) || !record.U32(dropped))
        return -1;
    if (f.returnClassRef < -1 || (f.returnClassRef >= 0 && uint32_t(f.returnClassRef) >= library->classRefs.size()))
        return -1;
    if (!FrameFits(f))
        return -1;

    // Object locals are released when the frame goes: each must be a slot
    // of the frame other than "me" (released on its own), listed once.
    const uint32_t localLimit = static_cast<uint32_t>(f.frameRecord - f.localsBase);
    if (!record.Count(f.objectLocalCount, 4))
        return -1;
    f.objectLocals = record.InPlace(f.objectLocalCount, 4);
    std::vector<bool> listed(localLimit, false);
    for (uint32_t i = 0; i < f.objectLocalCount; ++i) {
        uint32_t local = f.ObjectLocal(i);
        if (local == 0 || local >= localLimit || listed[local])
            return -1;
        listed[local] = true;
    }

    if (!record.Count(f.codeSize, 1))
        return -1;
    f.code = f.codeSize ? record.InPlace(f.codeSize, 1) : nullptr;
    if (!record.AlignTo4())
        return -1;
    uint32_t marker;
    if (record.Left() >= 4 && record.U32(marker) && marker == kLineMarker) {
        if (!record.Count(f.lineCount, 8))
            return -1;
        f.lines = record.InPlace(f.lineCount, 8);
    }
    if (!RecordAgreesWithSignature(f, *library))
        return -1;
    return block.Leave(record) ? 0 : -1;
}

bool GSClass::CheckLayout()
{
    // Words 0 and 1 of every class part hold its back offset and its
    // method table, so every part needs two words of the field block.
    if (fieldCount < kFirstMeField)
        return false;
    for (uint32_t i = 0; i < baseCount; ++i) {
        if (uint64_t(BaseOffset(i)) + kFirstMeField > fieldCount)
            return false;
    }
    for (uint32_t i = 0; i < methodCount; ++i) {
        if (uint64_t(methods[i].partOffset) + kFirstMeField > fieldCount)
            return false;
    }
    for (uint32_t i = 0; i < initialiserCount; ++i) {
        // A method-table address may be the end of the table: a class
        // without methods still points its parts there.
        if (InitialiserWord(i, 1) >= fieldCount || (InitialiserWord(i, 0) != 0 && InitialiserWord(i, 2) > methodCount))
            return false;
    }
    for (uint32_t i = 0; i < objectFieldCount; ++i) {
        if (ObjectField(i) < kFirstMeField || ObjectField(i) >= fieldCount)
            return false;
    }
    for (uint32_t i = 0; i < functionCount; ++i) {
        if (functions[i].methodSlot < -1 ||
            (functions[i].methodSlot >= 0 && uint32_t(functions[i].methodSlot) >= methodCount))
            return false;
    }
    return CheckParts();
}

bool GSClass::CheckParts()
{
    // The two own words of every part are the runtime's: a part's back
    // offset leads every reference to its header and its method table to
    // the code it calls. Parts may not share them, base parts come after the
    // object's own, and initialisers may only set them to what they must
    // hold (-offset; a method-table address), never put an address into
    // another word.
    if (fieldCount > kMaxFieldWords)
        return false;
    wordKinds.assign(fieldCount, kFieldWord);
    auto claim = [this](uint32_t offset) {
        if (uint64_t(offset) + 1 >= fieldCount || wordKinds[offset] != kFieldWord ||
            wordKinds[offset + 1] != kFieldWord)
            return false;
        wordKinds[offset] = kBackOffsetWord;
        wordKinds[offset + 1] = kMethodTableWord;
        return true;
    };
    if (!claim(0))
        return false;
    for (uint32_t i = 0; i < baseCount; ++i) {
        if (BaseOffset(i) < kFirstMeField || !claim(BaseOffset(i)))
            return false;
    }
    for (uint32_t i = 0; i < initialiserCount; ++i) {
        const uint32_t kind = InitialiserWord(i, 0), word = InitialiserWord(i, 1), value = InitialiserWord(i, 2);
        switch (wordKinds[word]) {
        case kBackOffsetWord:
            if (kind != 0 || int64_t(int32_t(value)) != -int64_t(word))
                return false;
            break;
        case kMethodTableWord:
            if (kind == 0)
                return false;
            break;
        default:
            if (kind != 0)
                return false;
        }
    }
    return true;
}

bool GSClass::VerifyFunctions()
{
    CodeLimits limits;
    limits.strings = static_cast<uint32_t>(library->strings.size());
    limits.classRefs = static_cast<uint32_t>(library->classRefs.size());
    limits.meFields = fieldCount;
    for (uint32_t i = 0; i < functionCount; ++i) {
        GSFunction& f = functions[i];
        limits.locals = static_cast<uint32_t>(f.frameRecord - f.localsBase);
        if (f.codeSize && !VerifyCode(f.code, f.codeSize, limits, f.depthRanges))
            return false;
        f.IndexDepthRanges();
        // The code lies in the library's own buffer.
        QuickenCode(const_cast<uint8_t*>(f.code), f.codeSize, f.depthRanges);
    }
    return true;
}

bool GSClass::Link()
{
    for (uint32_t i = 0; i < functionCount; ++i) {
        GSFunction& f = functions[i];
        if (f.flags & GSFunction::kFlagNative) {
            f.native = machine->FindNative(Nyx::PString(name), Nyx::PString(f.name));
            if (!f.native)
                ScriptLog("Could not resolve native link %s", f.name);
            continue;
        }
        const char* method = AfterScope(f.name);
        for (uint32_t b = 0; method && b < baseCount && !f.inherited; ++b) {
            GSClass* base = BaseClass(b);
            for (uint32_t j = 0; j < base->functionCount; ++j) {
                const char* other = AfterScope(base->functions[j].name);
                if (other && std::strcmp(method, other) == 0) {
                    f.inherited = &base->functions[j];
                    f.inheritedOffset = BaseOffset(b);
                    break;
                }
            }
        }
    }
    // A base's part and the part each method runs on must hold the whole
    // field block of its class: the other library may have been built with
    // another layout.
    for (uint32_t b = 0; b < baseCount; ++b) {
        if (uint64_t(BaseOffset(b)) + BaseClass(b)->fieldCount > fieldCount)
            return false;
    }
    for (uint32_t i = 0; i < methodCount; ++i) {
        methods[i].reference = &library->functionRefs[methods[i].referenceIndex];
        methods[i].function = methods[i].reference->function;
        const GSFunction& callee = *methods[i].function;
        methods[i].slotsFromHere = methodCount - i;
        methods[i].scriptCallDepth = callee.code && callee.parameterCount <= 0x8000
                                         ? 1 - int32_t(callee.parameterCount)
                                         : MethodEntry::kNoScriptCall;
        const GSClass* declaring = methods[i].function->owner;
        if (uint64_t(methods[i].partOffset) + declaring->fieldCount > fieldCount)
            return false;
        // The function runs on the part of the class that declares it, so
        // its code finds its own fields there.
        if (declaring->PartOffsetIn(*this) != int64_t(methods[i].partOffset))
            return false;
    }
    if (!PartTablesAgree())
        return false;
    gameObjectClass = IsDerivedFrom(kGameObjectClass);
    return true;
}

bool GSClass::PartTablesAgree() const
{
    // A call through a part takes the slot its code was compiled with from
    // where the part's method-table word points into this class's table:
    // each slot a function of the part's class has must hold that function
    // or an override of it (same return type, method and arguments), so
    // that native code calling by signature gets what it asked for.
    auto agrees = [this](const GSClass& partClass, uint32_t partOffset) {
        bool pointed = false;
        uint32_t start = 0;
        for (uint32_t i = 0; i < initialiserCount; ++i) {
            if (InitialiserWord(i, 1) == partOffset + 1) {
                pointed = true;
                start = InitialiserWord(i, 2);
            }
        }
        // Without a table the part's calls fail as they are made.
        if (!pointed)
            return true;
        for (uint32_t j = 0; j < partClass.functionCount; ++j) {
            const GSFunction& declared = partClass.functions[j];
            if (declared.methodSlot < 0)
                continue;
            const uint64_t slot = uint64_t(start) + uint32_t(declared.methodSlot);
            if (slot >= methodCount)
                return false;
            FunctionSignature expected, found;
            if (!FunctionSignature::Parse(declared.name, expected) ||
                !FunctionSignature::Parse(methods[slot].function->name, found) || !expected.SameShape(found))
                return false;
        }
        return true;
    };
    if (!agrees(*this, 0))
        return false;
    for (uint32_t b = 0; b < baseCount; ++b) {
        if (!agrees(*BaseClass(b), BaseOffset(b)))
            return false;
    }
    return true;
}

}  // namespace GSRuntime
