#include "config/results/KestroProperty.h"

#include <utility>

#include "core/streams/TStream.h"

void KestroProperty::FromText(const char*)
{
}

void KestroProperty::ToText(Nyx::PString& out) const
{
    out = Nyx::PString();
}

bool KestroProperty::ReleaseReference()
{
    return false;
}

KestroProperty* KestroPropertyRefCounted::AddReference()
{
    AddRef();
    return this;
}

bool KestroPropertyRefCounted::ReleaseReference()
{
    return Release();
}

void KestroPropertyAssetID::FromText(const char* text)
{
    kuid_ = KUID::Parse(text, false);
}

void KestroPropertyAssetID::ToText(Nyx::PString& out) const
{
    out = kuid_.ToString();
}

PropertyRef::PropertyRef(KestroProperty* property) : property_(property ? property->AddReference() : nullptr)
{
}

PropertyRef::PropertyRef(const PropertyRef& other) : property_(other.property_ ? other.property_->AddReference() : nullptr)
{
}

PropertyRef& PropertyRef::operator=(const PropertyRef& other)
{
    Reset(other.property_);
    return *this;
}

PropertyRef& PropertyRef::operator=(PropertyRef&& other) noexcept
{
    if (this != &other) {
        KestroProperty* old = std::exchange(property_, std::exchange(other.property_, nullptr));
        if (old)
            old->ReleaseReference();
    }
    return *this;
}

PropertyRef::~PropertyRef()
{
    if (property_)
        property_->ReleaseReference();
}

void PropertyRef::Reset(KestroProperty* property)
{
    // Take the new reference before dropping the old one, so resetting to the
    // property already held cannot destroy it on the way.
    KestroProperty* taken = property ? property->AddReference() : nullptr;
    KestroProperty* old = std::exchange(property_, taken);
    if (old)
        old->ReleaseReference();
}

Nyx::PString PropertyRef::ToString() const
{
    Nyx::PString text;
    if (property_)
        property_->ToText(text);
    return text;
}

void WriteProperty(TStream& s, const PropertyRef& ref)
{
    if (!ref) {
        s.WriteInt32(0u);
        return;
    }
    s.WriteInt32(ref->GetKind());
    s.WritePString(ref->GetName());
    s.WritePString(ref.ToString());
}

void ReadProperty(TStream& s, PropertyRef& ref)
{
    ref.Reset();
    uint32_t kind;
    s.ReadInt32(kind, 0u);
    if (kind == 0)
        return;
    Nyx::PString name;
    Nyx::PString text;
    s.ReadPString(name);
    s.ReadPString(text);
    if (kind == KestroProperty::kKindAssetID)
        ref.Reset(new KestroPropertyAssetID(name, KUID::Parse(text.c_str(), false)));
}
