#include "support/GSLibraryImage.h"

namespace gsimage {

Image ImageReader::Read()
{
    ReadHeader();
    for (uint32_t tag = 2; tag <= 6 && image_.errors.empty(); ++tag)
        ReadSection(tag);
    if (image_.errors.empty() && at_ != bytes_.size())
        Error("bytes after the last section");
    return std::move(image_);
}

uint32_t ImageReader::U32(uint32_t end)
{
    if (!Has(4, end)) {
        Error("read past the end of a block");
        at_ = end;
        return 0;
    }
    uint32_t v = uint32_t(bytes_[at_]) | uint32_t(bytes_[at_ + 1]) << 8 | uint32_t(bytes_[at_ + 2]) << 16 |
                 uint32_t(bytes_[at_ + 3]) << 24;
    at_ += 4;
    return v;
}

uint32_t ImageReader::Enter(uint32_t tag, uint32_t end, const char* what)
{
    const uint32_t start = at_;
    const uint32_t length = U32(end);
    const uint32_t found = U32(end);
    if (found != tag)
        Error(std::string(what) + ": tag " + std::to_string(found) + ", expected " + std::to_string(tag));
    if (length < 8 || length > end - start) {
        Error(std::string(what) + ": length " + std::to_string(length) + " does not fit");
        return end;
    }
    if (start % 4 != 0)
        Error(std::string(what) + " starts off a word boundary");
    return start + length;
}

void ImageReader::Leave(uint32_t blockEnd, const char* what)
{
    if (at_ != blockEnd)
        Error(std::string(what) + ": length says " + std::to_string(blockEnd) + ", contents end at " +
              std::to_string(at_));
    at_ = blockEnd;
}

uint32_t ImageReader::Count(uint32_t size, uint32_t end, const char* what)
{
    const uint32_t count = U32(end);
    if (uint64_t(count) * size > end - at_) {
        Error(std::string(what) + ": count " + std::to_string(count) + " does not fit");
        return 0;
    }
    return count;
}

std::string ImageReader::StringAt(uint32_t index, const char* what)
{
    if (index >= image_.strings.size()) {
        Error(std::string(what) + ": string index " + std::to_string(index) + " out of range");
        return {};
    }
    return image_.strings[index];
}

void ImageReader::Padding(uint32_t end, uint8_t fill, const char* what)
{
    while (at_ % 4 != 0) {
        if (at_ >= end) {
            Error(std::string(what) + ": padding past the block");
            return;
        }
        if (bytes_[at_] != fill)
            Error(std::string(what) + ": padding byte " + std::to_string(bytes_[at_]));
        ++at_;
    }
}

void ImageReader::ReadHeader()
{
    const uint32_t size = uint32_t(bytes_.size());
    image_.total = U32(size);
    image_.magic = U32(size);
    image_.versionBits = U32(size);
    image_.idLow = U32(size);
    image_.idHigh = U32(size);
    if (image_.total != size)
        Error("total length " + std::to_string(image_.total) + " of " + std::to_string(size) + " bytes");
    if (image_.magic != 0xF762575D)
        Error("magic");
    if (image_.versionBits != 0x3F828F5C)
        Error("version");
    const uint32_t n = Count(1, size, "name");
    if (n == 0 || bytes_[at_ + n - 1] != 0) {
        Error("name not NUL-terminated");
        return;
    }
    image_.name.assign(reinterpret_cast<const char*>(&bytes_[at_]), n - 1);
    if (image_.name.size() != std::strlen(image_.name.c_str()))
        Error("NUL inside the name");
    at_ += n;
}

void ImageReader::ReadSection(uint32_t tag)
{
    const uint32_t size = uint32_t(bytes_.size());
    const uint32_t start = at_;
    const char* what = "section";
    // Sections 2 and 3 may start off a word boundary after a name of
    // any length; the rest start on one.
    const uint32_t length = U32(size);
    const uint32_t found = U32(size);
    image_.sectionAt[tag] = start;
    image_.sectionLength[tag] = length;
    if (found != tag)
        Error("section tag " + std::to_string(found) + ", expected " + std::to_string(tag));
    if (length < 12 || length > size - start) {
        Error("section " + std::to_string(tag) + " length does not fit");
        return;
    }
    if (tag >= 4 && start % 4 != 0)
        Error("section " + std::to_string(tag) + " starts off a word boundary");
    const uint32_t end = start + length;
    switch (tag) {
    case 2: {
        const uint32_t count = Count(8, end, "dependencies");
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t low = U32(end);
            image_.dependencies.push_back({low, U32(end)});
        }
        break;
    }
    case 3:
        ReadStrings(end);
        break;
    case 4: {
        const uint32_t count = Count(8, end, "class references");
        for (uint32_t i = 0; i < count; ++i) {
            ClassRef ref;
            ref.dependency = U32(end);
            if (ref.dependency >= image_.dependencies.size())
                Error("class reference to dependency " + std::to_string(ref.dependency));
            ref.name = StringAt(U32(end), "class reference");
            image_.classRefs.push_back(ref);
        }
        break;
    }
    case 5: {
        const uint32_t count = Count(12, end, "function references");
        for (uint32_t i = 0; i < count; ++i) {
            FunctionRef ref;
            ref.classRef = U32(end);
            if (ref.classRef >= image_.classRefs.size())
                Error("function reference to class reference " + std::to_string(ref.classRef));
            ref.signature = StringAt(U32(end), "function reference");
            ref.slot = S32(end);
            image_.functionRefs.push_back(ref);
        }
        break;
    }
    case 6: {
        const uint32_t count = Count(1, end, "classes");
        for (uint32_t i = 0; i < count && image_.errors.empty(); ++i)
            ReadClass(end);
        break;
    }
    }
    (void)what;
    Leave(end, ("section " + std::to_string(tag)).c_str());
}

void ImageReader::ReadStrings(uint32_t end)
{
    const uint32_t count = Count(4, end, "strings");
    if (count == 0) {
        if (end - image_.sectionAt[3] != 12)
            Error("an empty string section is not 12 bytes");
        return;
    }
    std::vector<uint32_t> offsets;
    for (uint32_t i = 0; i < count; ++i)
        offsets.push_back(U32(end));
    const uint32_t area = at_;
    // The texts tile the area from its start, each once.
    std::vector<std::pair<uint32_t, uint32_t>> byOffset;
    for (uint32_t i = 0; i < count; ++i)
        byOffset.push_back({offsets[i], i});
    std::sort(byOffset.begin(), byOffset.end());
    image_.strings.resize(count);
    uint32_t next = 0;
    std::set<std::string> seen;
    for (const auto& [offset, index] : byOffset) {
        if (offset != next) {
            Error("string " + std::to_string(index) + " at offset " + std::to_string(offset) + ", expected " +
                  std::to_string(next));
            return;
        }
        const uint8_t* text = &bytes_[area + offset];
        const void* nul = area + offset < end ? std::memchr(text, 0, end - area - offset) : nullptr;
        if (!nul) {
            Error("string " + std::to_string(index) + " not NUL-terminated");
            return;
        }
        image_.strings[index].assign(reinterpret_cast<const char*>(text),
                                     static_cast<const uint8_t*>(nul) - text);
        if (!seen.insert(image_.strings[index]).second)
            Error("string stored twice: " + image_.strings[index]);
        next = offset + uint32_t(image_.strings[index].size()) + 1;
    }
    at_ = area + next;
    Padding(end, 0, "string section");
}

void ImageReader::ReadClass(uint32_t sectionEnd)
{
    const uint32_t end = Enter(7, sectionEnd, "class record");
    ClassRecord cls;
    cls.name = StringAt(U32(end), "class name");
    cls.flags = U32(end);
    if (cls.flags & ~0x14Cu)
        Error("class flags " + std::to_string(cls.flags));
    const uint32_t bases = Count(12, end, "bases");
    for (uint32_t i = 0; i < bases; ++i) {
        Base base;
        base.classRef = U32(end);
        base.offset = U32(end);
        base.direct = U32(end);
        if (base.classRef >= image_.classRefs.size())
            Error("base class reference " + std::to_string(base.classRef));
        if (base.direct > 1)
            Error("base direct word " + std::to_string(base.direct));
        cls.bases.push_back(base);
    }

    const uint32_t functionsEnd = Enter(8, end, "functions block");
    const uint32_t functions = Count(1, functionsEnd, "functions");
    if (functions == 0)
        Error("a functions block without the initialiser");
    for (uint32_t i = 0; i < functions && image_.errors.empty(); ++i)
        cls.functions.push_back(ReadFunction(functionsEnd, i + 1 == functions, cls.name));
    Leave(functionsEnd, "functions block");

    const uint32_t fieldsEnd = Enter(10, end, "fields block");
    const uint32_t fields = Count(20, fieldsEnd, "fields");
    for (uint32_t i = 0; i < fields; ++i) {
        Field field;
        field.name = StringAt(U32(fieldsEnd), "field name");
        field.type = U32(fieldsEnd);
        field.classRef = S32(fieldsEnd);
        field.isPublic = U32(fieldsEnd);
        field.slot = S32(fieldsEnd);
        if (field.classRef < -1 || field.classRef >= int32_t(image_.classRefs.size()))
            Error("field class reference " + std::to_string(field.classRef));
        if (field.isPublic > 1)
            Error("field public word");
        cls.fields.push_back(field);
    }
    Leave(fieldsEnd, "fields block");

    const uint32_t methodsStart = at_;
    const uint32_t methodsEnd = Enter(11, end, "method table");
    const uint32_t methods = Count(8, methodsEnd, "methods");
    if (methodsEnd - methodsStart != 8 * methods + 12)
        Error("method table length");
    for (uint32_t i = 0; i < methods; ++i) {
        const uint32_t ref = U32(methodsEnd);
        if (ref >= image_.functionRefs.size())
            Error("method table entry " + std::to_string(ref));
        cls.methods.push_back({ref, U32(methodsEnd)});
    }
    Leave(methodsEnd, "method table");

    const uint32_t layoutEnd = Enter(12, end, "layout block");
    cls.fieldWords = S32(layoutEnd);
    cls.initialiserCount = S32(layoutEnd);
    if (cls.initialiserCount != 2 * int32_t(cls.bases.size()) + 1)
        Error("layout initialiser count " + std::to_string(cls.initialiserCount));
    for (int32_t i = 0; i < 3 * cls.initialiserCount && at_ < layoutEnd; ++i)
        cls.layoutWords.push_back(S32(layoutEnd));
    for (size_t b = 0; b < cls.bases.size() && cls.layoutWords.size() == size_t(3 * cls.initialiserCount); ++b) {
        const int32_t o = int32_t(cls.bases[b].offset);
        const int32_t* w = &cls.layoutWords[6 * b];
        if (w[0] != 0 || w[1] != o || w[2] != -o || w[3] != 1 || w[4] != o + 1)
            Error("layout words of base " + std::to_string(b));
    }
    if (cls.layoutWords.size() >= 3) {
        const int32_t* own = &cls.layoutWords[cls.layoutWords.size() - 3];
        if (own[0] != 1 || own[1] != 1 || own[2] != 0)
            Error("layout words of the class itself");
    }
    const uint32_t objectFields = Count(4, layoutEnd, "object fields");
    for (uint32_t i = 0; i < objectFields; ++i)
        cls.objectFields.push_back(S32(layoutEnd));
    Leave(layoutEnd, "layout block");
    Leave(end, "class record");
    image_.classes.push_back(std::move(cls));
}

FunctionRecord ImageReader::ReadFunction(uint32_t blockEnd, bool initialiser, const std::string& className)
{
    FunctionRecord f;
    f.at = at_;
    const uint32_t end = Enter(9, blockEnd, "function record");
    f.name = U32(end);
    f.signature = StringAt(f.name, "function signature");
    f.words[0] = int32_t(f.name);
    for (int i = 1; i < 13; ++i)
        f.words[i] = S32(end);
    // Word i+1 is words[i].
    const int32_t a = f.words[9], b = f.words[10], c = f.words[11], n = b + c;
    if (f.words[5] != n + 4 || f.words[6] != 1 - a || f.words[7] != n + 1 || f.words[8] < n + 4)
        Error("frame words of " + f.signature);
    if (a < 1 || b < 0 || c < 0 || c > 8)
        Error("slot counts of " + f.signature);
    if (f.words[2] < -1 || f.words[2] >= int32_t(image_.classRefs.size()))
        Error("return class of " + f.signature);
    if (uint32_t(f.words[3]) & ~0x3Bu)
        Error("function flags of " + f.signature);
    const uint32_t slots = uint32_t(f.words[12]);
    if (uint64_t(slots) * 4 > end - at_) {
        Error("word 13 of " + f.signature + " does not fit");
        return f;
    }
    for (uint32_t i = 0; i < slots; ++i) {
        const int32_t slot = S32(end);
        if (slot < 1 || slot >= a + b)
            Error("reference slot " + std::to_string(slot) + " of " + f.signature);
        f.referenceSlots.push_back(slot);
    }
    const uint32_t codeSize = Count(1, end, "code");
    f.code.assign(bytes_.begin() + at_, bytes_.begin() + at_ + codeSize);
    at_ += codeSize;
    Padding(end, 0xFF, "code");
    if (initialiser) {
        const int32_t x = c;
        const int32_t expected[] = {0, -1, 0x20, -1, x + 4, 0, x + 1, -2, 1, 0, x, 0};
        for (int i = 0; i < 12; ++i) {
            if (i != 7 && f.words[i + 1] != expected[i])
                Error("initialiser word " + std::to_string(i + 2));
        }
        if (f.signature != "::" + className + "()")
            Error("initialiser named " + f.signature);
    } else if (at_ < end) {
        if (U32(end) != 0x6462676C)
            Error("no line table mark after " + f.signature);
        f.hasLines = true;
        const uint32_t count = Count(8, end, "lines");
        for (uint32_t i = 0; i < count; ++i) {
            const uint32_t offset = U32(end);
            const uint32_t line = U32(end);
            if (!f.lines.empty() && (f.lines.back().second == line || f.lines.back().first > offset))
                Error("line entry " + std::to_string(i) + " of " + f.signature);
            if (offset > codeSize)
                Error("line entry past the code of " + f.signature);
            f.lines.push_back({offset, line});
        }
    }
    Leave(end, ("function record " + f.signature).c_str());
    return f;
}

Image ReadImage(const std::vector<uint8_t>& bytes)
{
    return ImageReader(bytes).Read();
}

}  // namespace gsimage
