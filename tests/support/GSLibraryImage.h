// Reads a ".gsl" library image back into plain records for the compiler's
// tests, checking as it goes every rule of the layout: each block's length
// against what it holds, each tag and its order, each count against the
// bytes behind it, each index against its table, the string area's
// offsets (every text once, NUL-terminated, tiling the area), the zero and
// 0xFF padding and the word alignment counted from the image's first byte,
// the frame words of every function record, the initialiser records and
// the layout blocks. Every broken rule is noted in `errors`; reading goes
// on where it can.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace gsimage {

struct FunctionRecord {
    uint32_t at = 0;  // image offset of the record
    uint32_t name = 0;
    std::string signature;
    // Words 1 to 13 of the record, as read (index 0 is word 1).
    int32_t words[13] = {};
    std::vector<int32_t> referenceSlots;
    std::vector<uint8_t> code;
    bool hasLines = false;
    std::vector<std::pair<uint32_t, uint32_t>> lines;  // {code offset, line}

    int32_t ReturnType() const { return words[1]; }
    int32_t ReturnClass() const { return words[2]; }
    uint32_t Flags() const { return uint32_t(words[3]); }
    int32_t MethodSlot() const { return words[4]; }
    int32_t Arguments() const { return words[9]; }  // a
    int32_t Locals() const { return words[10]; }     // b
    int32_t Temporaries() const { return words[11]; }  // c
    int32_t MaxDepth() const { return words[8] - words[5]; }  // s
};

struct Field {
    std::string name;
    uint32_t type = 0;
    int32_t classRef = -1;
    uint32_t isPublic = 0;
    int32_t slot = -1;
};

struct Base {
    uint32_t classRef = 0;
    uint32_t offset = 0;
    uint32_t direct = 0;
};

struct ClassRecord {
    std::string name;
    uint32_t flags = 0;
    std::vector<Base> bases;
    std::vector<FunctionRecord> functions;  // the initialiser last
    std::vector<Field> fields;
    std::vector<std::pair<uint32_t, uint32_t>> methods;  // {function reference, part offset}
    int32_t fieldWords = 0;                             // A
    int32_t initialiserCount = 0;                       // B
    std::vector<int32_t> layoutWords;                   // the 3 x B words
    std::vector<int32_t> objectFields;                  // K slots

    const FunctionRecord* Find(const std::string& signature) const
    {
        for (const FunctionRecord& f : functions) {
            if (f.signature == signature)
                return &f;
        }
        return nullptr;
    }
};

struct ClassRef {
    uint32_t dependency = 0;
    std::string name;
};

struct FunctionRef {
    uint32_t classRef = 0;
    std::string signature;
    int32_t slot = 0;
};

struct Image {
    uint32_t total = 0;
    uint32_t magic = 0;
    uint32_t versionBits = 0;
    uint32_t idLow = 0;
    uint32_t idHigh = 0;
    std::string name;
    uint32_t sectionAt[7] = {};  // image offset of sections 2 to 6
    uint32_t sectionLength[7] = {};
    std::vector<std::pair<uint32_t, uint32_t>> dependencies;
    std::vector<std::string> strings;
    std::vector<ClassRef> classRefs;
    std::vector<FunctionRef> functionRefs;
    std::vector<ClassRecord> classes;
    std::vector<std::string> errors;

    const ClassRecord* Class(const std::string& className) const
    {
        for (const ClassRecord& c : classes) {
            if (c.name == className)
                return &c;
        }
        return nullptr;
    }
    int32_t StringIndex(const std::string& text) const
    {
        for (size_t i = 0; i < strings.size(); ++i) {
            if (strings[i] == text)
                return int32_t(i);
        }
        return -1;
    }
};

class ImageReader {
public:
    explicit ImageReader(const std::vector<uint8_t>& bytes) : bytes_(bytes) {}

    Image Read();

private:
    void Error(const std::string& what) { image_.errors.push_back(what + " (at " + std::to_string(at_) + ")"); }

    bool Has(uint32_t n, uint32_t end) const { return at_ <= end && n <= end - at_; }

    uint32_t U32(uint32_t end);
    int32_t S32(uint32_t end) { return int32_t(U32(end)); }

    // A block's head: its length (which must lie inside `end` and cover
    // the head) and its tag. Returns the block's end.
    uint32_t Enter(uint32_t tag, uint32_t end, const char* what);
    void Leave(uint32_t blockEnd, const char* what);
    // A count whose entries of `size` bytes must fit the block.
    uint32_t Count(uint32_t size, uint32_t end, const char* what);
    std::string StringAt(uint32_t index, const char* what);
    void Padding(uint32_t end, uint8_t fill, const char* what);

    void ReadHeader();
    void ReadSection(uint32_t tag);
    void ReadStrings(uint32_t end);
    void ReadClass(uint32_t sectionEnd);
    FunctionRecord ReadFunction(uint32_t blockEnd, bool initialiser, const std::string& className);

    const std::vector<uint8_t>& bytes_;
    uint32_t at_ = 0;
    Image image_;
};

Image ReadImage(const std::vector<uint8_t>& bytes);

}  // namespace gsimage
