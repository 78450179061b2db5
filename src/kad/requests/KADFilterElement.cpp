#include "kad/requests/KADFilterElement.h"

#include <tuple>

#include "core/streams/TStream.h"
#include "kad/requests/KUIDListWire.h"
#include "nyx/base/String.h"

namespace {

const char* const kBoolFields[] = {
    "local",
    "fetchery",
    "location-unknown",
    "locally-available",
    "up-to-date",
    "obsolete",
    "locally-modified",
    "valid-name",
    "open-for-edit",
    "in-archive",
    "locally-enabled",
    "has-missing-dependencies",
    "has-faulty-dependencies",
    "faulty",
    "from-tintery",
    "builtin",
    "listing-privilege",
    "warnings",
    "has-script-source",
};
const char* const kStringFields[] = {"asset-name", "category-list", "era-list", "keyword-list", "region-list"};
const char* const kIntFields[] = {"local-rating", "author", "version"};
const char* const kTimestampFields[] = {"installation-timestamp", "modification-timestamp"};
const char* const kAssetIDFields[] = {"asset-id", "profile-map"};

template <size_t N>
Nyx::PString FieldName(const char* const (&table)[N], uint32_t id)
{
    return Nyx::PString(id < N ? table[id] : "unknown");
}

Nyx::PString RangeText(int32_t lower, int32_t upper, uint8_t lowerInclusive, uint8_t upperInclusive)
{
    Nyx::String text = Nyx::String::Printf("%c%d,%d%c", lowerInclusive ? '[' : '(', lower, upper,
                                           upperInclusive ? ']' : ')');
    return Nyx::PString(text.View());
}

// An int bound is its own low word.
inline int32_t LowWordSigned(int32_t v) noexcept { return v; }
inline int32_t LowWordSigned(uint64_t v) noexcept
{
    return static_cast<int32_t>(static_cast<uint32_t>(v));
}

Nyx::PString RangeFieldName(KADIntRange, uint32_t id) { return FieldName(kIntFields, id); }
Nyx::PString RangeFieldName(KADTimestampRange, uint32_t id) { return FieldName(kTimestampFields, id); }

// Each bound at its own width.
void WriteBound(TStream& out, int32_t v) { out.WriteInt32(v); }
void WriteBound(TStream& out, uint64_t v) { out.WriteUInt64(v); }
void ReadBound(TStream& in, int32_t& v) { in.ReadInt32(v, 0); }
void ReadBound(TStream& in, uint64_t& v) { in.ReadUInt64(v, 0); }

inline uint8_t AsFlag(uint8_t v) noexcept { return v ? 1 : 0; }

// Nesting depth of the group being read on this thread.
thread_local int t_readDepth = 0;

}  // namespace

// ---------------------------------------------------------------- base

bool KADFilterElement::Equals(const KADFilterElement& other) const
{
    return GetFieldName().View() == other.GetFieldName().View() &&
           GetValueText().View() == other.GetValueText().View();
}

// ---------------------------------------------------------------- group

KADFilterElementGroup::KADFilterElementGroup(std::unique_ptr<KADFilterElement> first)
{
    if (first)
        children_.push_back(std::move(first));
}

void KADFilterElementGroup::AddChild(std::unique_ptr<KADFilterElement> child)
{
    children_.push_back(std::move(child));
}

void KADFilterElementGroup::AddGroup(KADFilterElementGroup& parent, std::unique_ptr<KADFilterElement> element)
{
    auto group = std::make_unique<KADFilterElementGroup>(std::move(element));
    group->SetNegated(true);
    parent.AddChild(std::move(group));
}

Nyx::PString KADFilterElementGroup::GetFieldName() const { return Nyx::PString("group"); }

Nyx::PString KADFilterElementGroup::GetValueText() const
{
    Nyx::String text("(");
    for (const auto& child : children_) {
        if (!child)
            continue;
        text += child->GetFieldName().View();
        text += ':';
        text += child->GetValueText().View();
    }
    text += ')';
    return Nyx::PString(text.View());
}

bool KADFilterElementGroup::Write(TStream& out) const
{
    out.WriteUInt8(AsFlag(leading_));
    out.WriteUInt8(AsFlag(negated_));
    out.WriteInt32(static_cast<uint32_t>(children_.size()));
    for (const auto& child : children_) {
        if (!WriteFilterElement(out, child.get()))
            return false;
    }
    return true;
}

bool KADFilterElementGroup::Read(TStream& in)
{
    in.ReadUInt8(leading_, 0);
    in.ReadUInt8(negated_, 0);
    children_.clear();
    uint32_t count;
    in.ReadInt32(count, 0);
    // Every child record takes at least its 4-byte tag, and a dry stream
    // reads the tag 0, which ends the loop: the count cannot run it past the
    // bytes there are.
    for (uint32_t i = 0; i < count; ++i) {
        std::unique_ptr<KADFilterElement> child = ReadFilterElement(in);
        if (!child)
            return false;
        children_.push_back(std::move(child));
    }
    return true;
}

bool KADFilterElementGroup::Equals(const KADFilterElement& other) const
{
    auto* group = dynamic_cast<const KADFilterElementGroup*>(&other);
    if (!group || group->children_.size() != children_.size() || group->negated_ != negated_ ||
        group->leading_ != leading_)
        return false;
    for (size_t i = 0; i < children_.size(); ++i) {
        if (!FilterElementsEqual(children_[i].get(), group->children_[i].get()))
            return false;
    }
    return true;
}

// ---------------------------------------------------------------- string

KADFilterElementString::KADFilterElementString(uint32_t fieldId, const Nyx::PString& text)
    : fieldId_(fieldId), text_(text)
{
    std::string_view v = text.View();
    if (fieldId == kAssetName && v.size() >= 2 && v.front() == '"' && v.back() == '"') {
        exact_ = 1;
        text_ = Nyx::PString(v.substr(1, v.size() - 2));
    }
}

Nyx::PString KADFilterElementString::GetFieldName() const { return FieldName(kStringFields, fieldId_); }

bool KADFilterElementString::Write(TStream& out) const
{
    out.WriteInt32(fieldId_);
    out.WritePString(text_);
    out.WriteUInt8(AsFlag(exact_));
    // A text the string record cannot hold goes out empty, and an empty
    // text matches everything: such an element must not be sent.
    return text_.Length() <= kMaxTextLength;
}

bool KADFilterElementString::Read(TStream& in)
{
    in.ReadInt32(fieldId_, 0);
    in.ReadPString(text_);
    in.ReadUInt8(exact_, 0);
    return true;
}

// ---------------------------------------------------------------- bool

Nyx::PString KADFilterElementBool::GetFieldName() const { return FieldName(kBoolFields, fieldId_); }

Nyx::PString KADFilterElementBool::GetValueText() const { return Nyx::PString("true"); }

bool KADFilterElementBool::Write(TStream& out) const
{
    out.WriteInt32(fieldId_);
    return true;
}

bool KADFilterElementBool::Read(TStream& in)
{
    in.ReadInt32(fieldId_, 0);
    return true;
}

// ---------------------------------------------------------------- ranges

template <class Range>
KADFilterElementRange<Range>::KADFilterElementRange(uint32_t fieldId, Bound lower, Bound upper, bool lowerInclusive,
                                                    bool upperInclusive)
    : fieldId_(fieldId),
      lower_(lower),
      upper_(upper),
      lowerInclusive_(lowerInclusive ? 1 : 0),
      upperInclusive_(upperInclusive ? 1 : 0)
{
}

template <class Range>
Nyx::PString KADFilterElementRange<Range>::GetFieldName() const
{
    return RangeFieldName(Range{}, fieldId_);
}

template <class Range>
Nyx::PString KADFilterElementRange<Range>::GetValueText() const
{
    return RangeText(LowWordSigned(lower_), LowWordSigned(upper_), lowerInclusive_, upperInclusive_);
}

template <class Range>
bool KADFilterElementRange<Range>::Write(TStream& out) const
{
    out.WriteInt32(fieldId_);
    WriteBound(out, lower_);
    WriteBound(out, upper_);
    out.WriteUInt8(AsFlag(lowerInclusive_));
    out.WriteUInt8(AsFlag(upperInclusive_));
    return true;
}

template <class Range>
bool KADFilterElementRange<Range>::Read(TStream& in)
{
    in.ReadInt32(fieldId_, 0);
    ReadBound(in, lower_);
    ReadBound(in, upper_);
    in.ReadUInt8(lowerInclusive_, 0);
    in.ReadUInt8(upperInclusive_, 0);
    return true;
}

template class KADFilterElementRange<KADIntRange>;
template class KADFilterElementRange<KADTimestampRange>;

// ---------------------------------------------------------------- asset id

bool KADFilterElementAssetID::Order::operator()(const KUID& a, const KUID& b) const noexcept
{
    auto key = [](const KUID& k) {
        return std::tuple(static_cast<uint32_t>(k.user), static_cast<uint32_t>(k.content),
                          static_cast<uint32_t>(k.version));
    };
    return key(a) < key(b);
}

Nyx::PString KADFilterElementAssetID::GetFieldName() const { return FieldName(kAssetIDFields, fieldId_); }

Nyx::PString KADFilterElementAssetID::GetValueText() const
{
    Nyx::String text("(");
    for (const KUID& k : kuids_) {
        text += k.ToString().View();
        text += ',';
    }
    text += ')';
    return Nyx::PString(text.View());
}

bool KADFilterElementAssetID::Write(TStream& out) const
{
    out.WriteInt32(fieldId_);
    out.WriteInt32(static_cast<uint32_t>(kuids_.size()));
    for (const KUID& k : kuids_)
        WriteKUID(out, k);
    return true;
}

bool KADFilterElementAssetID::Read(TStream& in)
{
    in.ReadInt32(fieldId_, 0);
    uint32_t count;
    in.ReadInt32(count, 0);
    kuids_.clear();
    // Past the bytes the stream holds, every further KUID reads as the one
    // null KUID, which the set keeps once: two reads beyond the whole
    // entries (the cut one, then the first null) give the set a loop over
    // the full count would, without looping four billion times.
    uint32_t reachable = StreamBytesLeft(in) / KUID::kPackedSize + 2;
    bool cut = count > reachable;
    if (cut)
        count = reachable;
    for (uint32_t i = 0; i < count; ++i) {
        KUID k;
        ReadKUID(in, k);
        kuids_.insert(k);
    }
    if (cut)
        in.SetError(TStream::kErrShortRecord);
    return true;
}

// ---------------------------------------------------------------- records

std::unique_ptr<KADFilterElement> CreateFilterElement(uint32_t kind)
{
    switch (kind) {
    case KADFilterElementGroup::kKind:
        return std::make_unique<KADFilterElementGroup>();
    case KADFilterElementString::kKind:
        return std::make_unique<KADFilterElementString>(KADFilterElementString::kAssetName, Nyx::PString());
    case KADFilterElementBool::kKind:
        return std::make_unique<KADFilterElementBool>(KADFilterElementBool::kLocallyAvailable);
    case KADFilterElementInt::kKind:
        return std::make_unique<KADFilterElementInt>(KADFilterElementInt::kAuthor, 0, 0, false, false);
    case KADFilterElementTimestamp::kKind:
        return std::make_unique<KADFilterElementTimestamp>(KADFilterElementTimestamp::kInstallationTimestamp, 0,
                                                           0, false, false);
    case KADFilterElementAssetID::kKind:
        return std::make_unique<KADFilterElementAssetID>(KADFilterElementAssetID::kAssetId);
    default:
        return nullptr;
    }
}

bool WriteFilterElement(TStream& out, const KADFilterElement* element)
{
    if (!element) {
        out.WriteInt32(uint32_t(0));
        return false;
    }
    out.WriteInt32(element->GetKind());
    return element->Write(out);
}

std::unique_ptr<KADFilterElement> ReadFilterElement(TStream& in)
{
    uint32_t kind;
    in.ReadInt32(kind, 0);
    std::unique_ptr<KADFilterElement> element = CreateFilterElement(kind);
    if (!element)
        return nullptr;
    if (t_readDepth >= kMaxFilterDepth)
        return nullptr;
    ++t_readDepth;
    bool ok = element->Read(in);
    --t_readDepth;
    if (!ok)
        return nullptr;
    return element;
}

bool FilterElementsEqual(const KADFilterElement* a, const KADFilterElement* b)
{
    if (!a || !b)
        return a == b;
    return a->Equals(*b) && b->Equals(*a);
}
