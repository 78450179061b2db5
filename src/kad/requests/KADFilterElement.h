// Asset-search filters: a tree of elements that the daemon evaluates against
// every asset it knows. Leaves test one property (a boolean property, a text
// list, an integer or time range, a set of asset ids); groups combine them.
//
// One element record on the wire is its u32 kind tag followed by its body;
// the tag 0 stands for a null element and has no body. The tags are u32
// values, so their letters travel reversed ("purg", "nrts", ...).
#pragma once

#include <cstdint>
#include <memory>
#include <set>
#include <vector>

#include "config/kuid/KUID.h"
#include "core/streams/TStream.h"
#include "nyx/base/PString.h"

class TStream;

class KADFilterElement {
public:
    KADFilterElement() = default;
    KADFilterElement(const KADFilterElement&) = delete;
    KADFilterElement& operator=(const KADFilterElement&) = delete;
    virtual ~KADFilterElement() = default;

    // The field key; "unknown" for an id outside the class's table.
    virtual Nyx::PString GetFieldName() const = 0;
    virtual Nyx::PString GetValueText() const = 0;
    virtual uint32_t GetKind() const = 0;
    // The body only, not the kind tag.
    virtual bool Write(TStream& out) const = 0;
    virtual bool Read(TStream& in) = 0;
    // Leaves are equal when their field names and value texts are equal
    // texts, whatever their classes.
    virtual bool Equals(const KADFilterElement& other) const;
};

class KADFilterElementGroup : public KADFilterElement {
public:
    static constexpr uint32_t kKind = 0x67727570u;  // "grup"

    // Leading flag 1, negated flag 0; a non-null first child is adopted.
    explicit KADFilterElementGroup(std::unique_ptr<KADFilterElement> first = nullptr);

    // A null child is kept: writing the group then ends with false there.
    void AddChild(std::unique_ptr<KADFilterElement> child);
    // Appends to the parent a negated group holding only the element, which
    // is how callers exclude assets that have one property.
    static void AddGroup(KADFilterElementGroup& parent, std::unique_ptr<KADFilterElement> element);
    void SetNegated(bool negated) noexcept { negated_ = negated ? 1 : 0; }

    uint8_t GetLeading() const noexcept { return leading_; }
    uint8_t GetNegated() const noexcept { return negated_; }
    uint32_t GetChildCount() const noexcept { return static_cast<uint32_t>(children_.size()); }
    // Null for an index past the end (or a null child).
    const KADFilterElement* GetChild(uint32_t index) const noexcept
    {
        return index < children_.size() ? children_[index].get() : nullptr;
    }

    Nyx::PString GetFieldName() const override;
    Nyx::PString GetValueText() const override;
    uint32_t GetKind() const override { return kKind; }
    bool Write(TStream& out) const override;
    bool Read(TStream& in) override;
    // Only another group, with the same flags and equal children in the
    // same order.
    bool Equals(const KADFilterElement& other) const override;

private:
    uint8_t leading_ = 1;
    uint8_t negated_ = 0;
    std::vector<std::unique_ptr<KADFilterElement>> children_;
};

class KADFilterElementString : public KADFilterElement {
public:
    static constexpr uint32_t kKind = 0x7374726Eu;  // "strn"
    enum Field : uint32_t {
        kAssetName = 0,
        kCategoryList = 1,  // holds a category expression
        kEraList = 2,
        kKeywordList = 3,
        kRegionList = 4,
    };
    // The longest text the wire's string record holds (with its NUL).
    static constexpr uint32_t kMaxTextLength = TStream::kMaxStringRecord - 1;

    // An asset name in double quotes asks for the whole name: the quotes go
    // and the exact flag is set. Other fields keep their quotes.
    KADFilterElementString(uint32_t fieldId, const Nyx::PString& text);

    uint32_t GetFieldId() const noexcept { return fieldId_; }
    const Nyx::PString& GetText() const noexcept { return text_; }
    uint8_t GetExact() const noexcept { return exact_; }

    Nyx::PString GetFieldName() const override;
    Nyx::PString GetValueText() const override { return text_; }
    uint32_t GetKind() const override { return kKind; }
    bool Write(TStream& out) const override;
    bool Read(TStream& in) override;

private:
    uint32_t fieldId_;
    Nyx::PString text_;
    uint8_t exact_ = 0;
};

class KADFilterElementBool : public KADFilterElement {
public:
    static constexpr uint32_t kKind = 0x626F6F6Cu;  // "bool"
    enum Field : uint32_t {
        kLocal = 0,
        kFetchery = 1,
        kLocationUnknown = 2,
        kLocallyAvailable = 3,
        kUpToDate = 4,
        kObsolete = 5,
        kLocallyModified = 6,
        kValidName = 7,
        kOpenForEdit = 8,
        kInArchive = 9,
        kLocallyEnabled = 10,
        kHasMissingDependencies = 11,
        kHasFaultyDependencies = 12,
        kFaulty = 13,
        kFromTintery = 14,
        kBuiltin = 15,
        kListingPrivilege = 16,
        kWarnings = 17,
        kHasScriptSource = 18,
    };

    explicit KADFilterElementBool(uint32_t fieldId) : fieldId_(fieldId) {}

    uint32_t GetFieldId() const noexcept { return fieldId_; }

    Nyx::PString GetFieldName() const override;
    // The element's presence states the property, so its value is constant.
    Nyx::PString GetValueText() const override;
    uint32_t GetKind() const override { return kKind; }
    bool Write(TStream& out) const override;
    bool Read(TStream& in) override;

private:
    uint32_t fieldId_;
};

// The two range kinds: an integer range and a time range, alike but for the
// width of their bounds.
struct KADIntRange {
    using Bound = int32_t;
    static constexpr uint32_t kKind = 0x696E7465u;  // "inte"
    enum Field : uint32_t {
        kLocalRating = 0,
        kAuthor = 1,
        kVersion = 2,
    };
};

struct KADTimestampRange {
    using Bound = uint64_t;
    static constexpr uint32_t kKind = 0x74696D65u;  // "time"
    enum Field : uint32_t {
        kInstallationTimestamp = 0,
        kModificationTimestamp = 1,
    };
};

// A property between two bounds, each inclusive or not. The kind's tag and
// field ids are reached through the element's class (KADFilterElementInt::
// kAuthor).
template <class Range>
class KADFilterElementRange : public KADFilterElement, public Range {
public:
    using Bound = typename Range::Bound;

    KADFilterElementRange(uint32_t fieldId, Bound lower, Bound upper, bool lowerInclusive, bool upperInclusive);

    uint32_t GetFieldId() const noexcept { return fieldId_; }
    Bound GetLower() const noexcept { return lower_; }
    Bound GetUpper() const noexcept { return upper_; }
    uint8_t GetLowerInclusive() const noexcept { return lowerInclusive_; }
    uint8_t GetUpperInclusive() const noexcept { return upperInclusive_; }

    Nyx::PString GetFieldName() const override;
    // "[1,5)": brackets for inclusive bounds, parentheses for exclusive; each
    // bound shown as its low 32 bits taken signed (all of an int bound).
    Nyx::PString GetValueText() const override;
    uint32_t GetKind() const override { return Range::kKind; }
    // The field id, the two bounds at their full width, the two flags.
    bool Write(TStream& out) const override;
    bool Read(TStream& in) override;

private:
    uint32_t fieldId_;
    Bound lower_;
    Bound upper_;
    uint8_t lowerInclusive_;
    uint8_t upperInclusive_;
};

extern template class KADFilterElementRange<KADIntRange>;
extern template class KADFilterElementRange<KADTimestampRange>;

using KADFilterElementInt = KADFilterElementRange<KADIntRange>;
using KADFilterElementTimestamp = KADFilterElementRange<KADTimestampRange>;

class KADFilterElementAssetID : public KADFilterElement {
public:
    static constexpr uint32_t kKind = 0x61737374u;  // "asst"
    enum Field : uint32_t {
        kAssetId = 0,
        kProfileMap = 1,
    };

    // User id, then content id, then version, each compared unsigned.
    struct Order {
        bool operator()(const KUID& a, const KUID& b) const noexcept;
    };
    using KUIDSet = std::set<KUID, Order>;

    explicit KADFilterElementAssetID(uint32_t fieldId) : fieldId_(fieldId) {}

    // A KUID already in the set is kept once.
    void AddKUID(const KUID& kuid) { kuids_.insert(kuid); }
    uint32_t GetFieldId() const noexcept { return fieldId_; }
    const KUIDSet& GetKUIDs() const noexcept { return kuids_; }

    Nyx::PString GetFieldName() const override;
    // "(" then each KUID's text and "," in set order, then ")".
    Nyx::PString GetValueText() const override;
    uint32_t GetKind() const override { return kKind; }
    bool Write(TStream& out) const override;
    bool Read(TStream& in) override;

private:
    uint32_t fieldId_;
    KUIDSet kuids_;
};

// An empty element of a kind, ready to be read: the group as constructed,
// string "asset-name" with an empty text, bool "locally-available", int
// "author" and the other two with field 0, all bounds and flags 0. Null for
// any other tag, 0 included.
std::unique_ptr<KADFilterElement> CreateFilterElement(uint32_t kind);

// One element record: the kind tag, then the body. A null element is written
// as the u32 0 and gives false; otherwise the element's Write answers.
bool WriteFilterElement(TStream& out, const KADFilterElement* element);

// Reads one element record. Null for an unknown tag, for a body whose Read
// fails, and for groups nested deeper than kMaxFilterDepth (so a hostile
// payload cannot run the reader out of stack).
constexpr int kMaxFilterDepth = 64;
std::unique_ptr<KADFilterElement> ReadFilterElement(TStream& in);

// Each equals the other. Two null elements are equal; a null one equals no
// element.
bool FilterElementsEqual(const KADFilterElement* a, const KADFilterElement* b);
