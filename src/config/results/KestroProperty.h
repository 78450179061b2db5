// Named, typed values that travel with result messages, the counted reference
// that holds them and their stream record.
#pragma once

#include <cstdint>

#include "config/kuid/KUID.h"
#include "nyx/base/PString.h"
#include "nyx/base/ReferenceCount.h"

class TStream;

class IdentifiableType {
public:
    virtual ~IdentifiableType() = default;
};

class KestroProperty : public IdentifiableType {
public:
    // The only kind made here: a property holding a KUID.
    static constexpr uint32_t kKindAssetID = 8;

    KestroProperty(const Nyx::PString& name, uint32_t kind) : name_(name), kind_(kind) {}
    KestroProperty(const KestroProperty&) = delete;
    KestroProperty& operator=(const KestroProperty&) = delete;

    virtual void FromText(const char* text);
    // The base holds no value: the empty text.
    virtual void ToText(Nyx::PString& out) const;
    virtual KestroProperty* AddReference() = 0;
    // Returns true when that release destroyed the property.
    virtual bool ReleaseReference();

    const Nyx::PString& GetName() const noexcept { return name_; }
    uint32_t GetKind() const noexcept { return kind_; }

private:
    Nyx::PString name_;
    uint32_t kind_;
};

// Gives the reference slots their counting behaviour. A new property has no
// references; the holder that takes the first owns it, and the last release
// destroys it.
class KestroPropertyRefCounted : public KestroProperty, public Nyx::ReferenceCount {
public:
    using KestroProperty::KestroProperty;

    KestroProperty* AddReference() override;
    bool ReleaseReference() override;
};

class KestroPropertyAssetID : public KestroPropertyRefCounted {
public:
    KestroPropertyAssetID(const Nyx::PString& name, int32_t user, int32_t content, int32_t version)
        : KestroPropertyRefCounted(name, kKindAssetID), kuid_(user, content, version)
    {
    }
    KestroPropertyAssetID(const Nyx::PString& name, const KUID& kuid)
        : KestroPropertyRefCounted(name, kKindAssetID), kuid_(kuid)
    {
    }

    // Lenient parse: an unreadable text gives the null KUID.
    void FromText(const char* text) override;
    void ToText(Nyx::PString& out) const override;

    const KUID& GetKUID() const noexcept { return kuid_; }

private:
    KUID kuid_;
};

// A counted reference to a property; may be null.
class PropertyRef {
public:
    PropertyRef() noexcept = default;
    explicit PropertyRef(KestroProperty* property);
    PropertyRef(const PropertyRef& other);
    PropertyRef(PropertyRef&& other) noexcept : property_(other.property_) { other.property_ = nullptr; }
    PropertyRef& operator=(const PropertyRef& other);
    PropertyRef& operator=(PropertyRef&& other) noexcept;
    ~PropertyRef();

    // Releases the held property (if any) and takes a reference to the new one.
    void Reset(KestroProperty* property = nullptr);

    KestroProperty* Get() const noexcept { return property_; }
    KestroProperty* operator->() const noexcept { return property_; }
    explicit operator bool() const noexcept { return property_ != nullptr; }

    // The property's text, or the empty text for a null reference.
    Nyx::PString ToString() const;

private:
    KestroProperty* property_ = nullptr;
};

// Stream record: kind (u32, 0 for a null reference and nothing behind it),
// then the name and the text form as PString records.
void WriteProperty(TStream& s, const PropertyRef& ref);
// Releases what ref holds first. Kind 8 gives a KUID property; any other
// non-zero kind is read past and gives a null reference.
void ReadProperty(TStream& s, PropertyRef& ref);
