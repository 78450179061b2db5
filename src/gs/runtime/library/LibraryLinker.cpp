// Reading a library image into its tables and linking it against the
// libraries it depends on.
#include <cstring>

#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/library/ImageReader.h"
#include "gs/support/ScriptLogHook.h"

using GSRuntime::GSClass;
using GSRuntime::GSLibrary;
using GSRuntime::ImageReader;

namespace {

constexpr uint32_t kTagDependencies = 2;
constexpr uint32_t kTagStrings = 3;
constexpr uint32_t kTagClassRefs = 4;
constexpr uint32_t kTagFunctionRefs = 5;
constexpr uint32_t kTagClasses = 6;
// The smallest class record: length, tag, name, flags, base count, and the
// four sub-block heads.
constexpr uint32_t kMinClassRecord = 20 + 3 * 12 + 20;

bool ReadImageHeader(ImageReader& image, GSLibrary& library)
{
    uint32_t total, magic, version, nameLength;
    if (!image.U32(total) || !image.U32(magic) || magic != GSLibrary::kMagic || !image.U32(version) ||
        !image.U32(library.idLow) || !image.U32(library.idHigh) || !image.Count(nameLength, 1))
        return false;
    std::memcpy(&library.version, &version, sizeof version);
    const auto* name = reinterpret_cast<const char*>(image.InPlace(nameLength, 1));
    if (!name || !std::memchr(name, 0, nameLength))
        return false;
    library.name = Nyx::String(name);
    return true;
}

bool ReadDependencies(ImageReader& image, GSLibrary& library)
{
    ImageReader section;
    uint32_t count;
    if (!image.Enter(kTagDependencies, section) || !section.Count(count, 8))
        return false;
    const uint8_t* entries = section.InPlace(count, 8);
    library.dependencies.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        library.dependencies[i].idLow = LoadLE32(entries + 8 * i);
        library.dependencies[i].idHigh = LoadLE32(entries + 8 * i + 4);
    }
    return image.Leave(section);
}

bool ReadStrings(ImageReader& image, GSLibrary& library)
{
    ImageReader section;
    uint32_t count;
    if (!image.Enter(kTagStrings, section) || !section.Count(count, 4))
        return false;
    const uint8_t* offsets = section.InPlace(count, 4);
    const auto* area = reinterpret_cast<const char*>(section.Data() + section.Position());
    const uint32_t areaSize = section.Left();
    library.strings.resize(count);
    for (uint32_t i = 0; i < count; ++i) {
        uint32_t offset = LoadLE32(offsets + 4 * i);
        if (offset >= areaSize || !std::memchr(area + offset, 0, areaSize - offset))
            return false;
        library.strings[i] = area + offset;
    }
    library.stringCopies.reserve(count);
    for (const char* s : library.strings)
        library.stringCopies.emplace_back(s);
    return image.Leave(section);
}

bool ReadClassRefs(ImageReader& image, GSLibrary& library)
{
    ImageReader section;
    uint32_t count;
    if (!image.Enter(kTagClassRefs, section) || !section.Count(count, 8))
        return false;
    library.classRefRecords = section.InPlace(count, 8);
    for (uint32_t i = 0; i < count; ++i) {
        if (LoadLE32(library.classRefRecords + 8 * i) >= library.dependencies.size() ||
            LoadLE32(library.classRefRecords + 8 * i + 4) >= library.strings.size())
            return false;
    }
    library.classRefs.resize(count);
    return image.Leave(section);
}

bool ReadFunctionRefs(ImageReader& image, GSLibrary& library)
{
    ImageReader section;
    uint32_t count;
    if (!image.Enter(kTagFunctionRefs, section) || !section.Count(count, 12))
        return false;
    library.functionRefRecords = section.InPlace(count, 12);
    for (uint32_t i = 0; i < count; ++i) {
        if (LoadLE32(library.functionRefRecords + 12 * i) >= library.classRefs.size() ||
            LoadLE32(library.functionRefRecords + 12 * i + 4) >= library.strings.size())
            return false;
    }
    library.functionRefs.resize(count);
    return image.Leave(section);
}

}  // namespace

int GSMachine::LinkLibrary(GSLibrary& library, Utils::ByteBuffer& reader)
{
    ImageReader image(reader);
    if (!reader.Seek(0) || !ReadImageHeader(image, library) || !ReadDependencies(image, library) ||
        !ReadStrings(image, library) || !ReadClassRefs(image, library) || !ReadFunctionRefs(image, library))
        return kMalformed;

    ImageReader section;
    uint32_t classCount;
    if (!image.Enter(kTagClasses, section) || !section.Count(classCount, kMinClassRecord))
        return kMalformed;
    library.classes = std::make_unique<GSClass[]>(classCount);
    library.classCount = classCount;
    for (uint32_t i = 0; i < classCount; ++i) {
        GSClass& cls = library.classes[i];
        int code = cls.Load(section, library, i, *this);
        if (code != kLinked) {
            if (cls.name)
                ScriptLog("GS Link error: Unable to initialise class '%s'", cls.name);
            return code;
        }
    }
    if (!image.Leave(section))
        return kMalformed;
    return ResolveAndLink(library);
}

int GSMachine::ResolveAndLink(GSLibrary& library)
{
    for (GSRuntime::Dependency& dependency : library.dependencies) {
        dependency.library = LoadLibrary(LibraryId{dependency.idLow, dependency.idHigh});
        if (!dependency.library)
            return kDependencyFailed;
    }

    bool allFound = true;
    for (size_t i = 0; i < library.classRefs.size(); ++i) {
        GSRuntime::ClassReference& ref = library.classRefs[i];
        const GSRuntime::Dependency& dependency = library.dependencies[LoadLE32(library.classRefRecords + 8 * i)];
        ref.name = library.strings[LoadLE32(library.classRefRecords + 8 * i + 4)];
        ref.library = dependency.library;
        ref.cls = ref.library ? ref.library->FindClass(ref.name) : nullptr;
        if (ref.cls)
            continue;
        allFound = false;
        if (!ref.library)
            ScriptLog("GS Link error: Unable to find library for class '%s' (lib id: %x.%x)", ref.name,
                      dependency.idLow, dependency.idHigh);
        else
            ScriptLog("GS Link error: Unable to find class '%s'", ref.name);
    }
    if (!allFound)
        return kLinkFailed;

    for (size_t i = 0; i < library.functionRefs.size(); ++i) {
        GSRuntime::FunctionReference& ref = library.functionRefs[i];
        const uint8_t* record = library.functionRefRecords + 12 * i;
        ref.cls = library.classRefs[LoadLE32(record)].cls;
        ref.name = library.strings[LoadLE32(record + 4)];
        ref.slot = LoadLE32(record + 8);
        ref.function = ref.cls->OwnFunction(ref.name);
        if (!ref.function) {
            ScriptLog("GS Link error: Unable to link function '%s'", ref.name);
            return kLinkFailed;
        }
    }

    for (uint32_t i = 0; i < library.classCount; ++i) {
        if (!library.classes[i].Link()) {
            ScriptLog("GS Link error: Unable to link '%s'", library.classes[i].name);
            return kLinkFailed;
        }
    }
    return kLinked;
}
