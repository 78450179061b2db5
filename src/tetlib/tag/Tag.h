// One value tag of a container under check: a config tag (or a template
// entry the config lacks) with its value as text, its template entry in
// the definitions, the code of its value type and the named rules bound
// from that entry. The owning container makes, types and destroys it.
#pragma once

#include <atomic>
#include <cstdint>
#include <string_view>
#include <vector>

#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"
#include "tetlib/errors/ObjectSerial.h"

namespace TETLib {

class Container;
class Tag;

// A named check of a tag's value; the argument is the rule's own entry
// under "validation" (null when that is no container). True: the tag
// passes.
using TagRuleFunction = bool (*)(Tag& tag, const ChunkRef* argument);

struct TagRule {
    Nyx::PString name;
    TagRuleFunction function;
};

// The value-type codes, by the template entry's "type" word.
enum ValueType : int32_t {
    kTypeFloat = 0,
    kTypeString = 1,
    kTypeInt = 3,
    kTypeBool = 4,
    kTypeVector2 = 5,
    kTypeVector3 = 6,
    kTypeVector4 = 7,
    kTypeVector5 = 8,
    kTypeFloatList = 9,
    kTypeCombobox = 10,
    kTypeIntCombobox = 11,
    kTypeListbox = 12,
    kTypeDoubleString = 13,
    kTypeKUID = 14,
    kTypeFilePath = 15,
    kTypeFilePathEdit = 16,
    kTypeStringKUID = 17,
    kTypeKUIDBrowser = 18,
    kTypeStringKUIDBrowser = 19,
    kTypeUndefined = 20,
};

// One number as by atof; beyond the float range an infinity of its sign.
float ParseNumber(const char* text);
// The value as numbers: every space or comma ends a piece, each non-empty
// piece converted as by atof.
std::vector<float> ParseNumberList(std::string_view text);
// The same pieces as whole numbers (decimal, as by atoi).
std::vector<int32_t> ParseIntegerList(std::string_view text);

class Tag {
public:
    Tag();
    Tag(const Tag&) = delete;
    Tag& operator=(const Tag&) = delete;
    // Takes the tag's message and registrations away from the error handler
    // and the data manager, as far as they exist.
    virtual ~Tag();

    // Binds every rule that the template entry's "validation" names, in
    // order, from the rule table; a name twice is bound twice, unknown
    // names are passed over.
    virtual void BindRules(const ChunkRef& spec);

    // Runs every bound rule in binding order, also after one has failed;
    // true when none failed.
    bool RunRules();
    // A non-empty value must hold `expected` numbers (assets from build
    // 2.89 on); "$tet_val_arraywrongsize" otherwise. An empty value fails
    // without a message.
    static bool CheckArraySize(Tag& tag, int32_t expected);
    // The asset database's view of a KUID-browser tag's value: the null
    // KUID, an asset the database does not know and one not installed here
    // are warnings and pass; one outside the tag's category fails (except
    // for "mesh-asset"). Tags of "obsolete-table" pass unchecked.
    static bool CheckKUID(Tag& tag);

    // The named tag rules, in the order a name is looked up.
    static const std::vector<TagRule>& RuleTable();
    // Tags alive in the process.
    static int64_t LiveCount() noexcept;

    TagSerial Serial() const noexcept { return serial_; }
    const ChunkRef& GetSpec() const noexcept { return spec_; }
    // Holds a reference on the new description, dropping the old one.
    void SetSpec(const ChunkRef& spec) { spec_ = spec; }
    size_t GetBoundRuleCount() const noexcept { return ruleFunctions_.size(); }

    Nyx::PString name;
    Nyx::PString value;
    int32_t valueType = kTypeUndefined;
    // The number of tags in the owner's tag list when the tag was made.
    int32_t index = -1;
    Container* owner = nullptr;
    Nyx::PString dataType;  // a file reference's "datatype"
    bool hasSource = false;  // the choices come from a data-manager list
    Nyx::PString source;
    bool compulsory = true;
    bool disabled = false;
    bool isFileReference = false;
    Nyx::PString category;  // a KUID browser's "category"
    Nyx::PString filter;

private:
    static std::atomic<int64_t> live_;

    TagSerial serial_;
    std::vector<TagRuleFunction> ruleFunctions_;
    std::vector<ChunkRef> ruleArguments_;
    ChunkRef spec_;
};

}  // namespace TETLib
