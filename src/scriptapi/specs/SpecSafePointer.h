// A pointer to a description that does not hold it: it reads null once the description is
// gone. The description keeps a ring of the safe pointers that refer to it and
// clears them when it is destroyed or when the registry purges it.
#pragma once

class GlimmerkitSpec;

class SpecSafePointer {
public:
    SpecSafePointer() = default;
    explicit SpecSafePointer(GlimmerkitSpec* spec) { Set(spec); }
    SpecSafePointer(const SpecSafePointer& other) { Set(other.spec_); }
    SpecSafePointer& operator=(const SpecSafePointer& other)
    {
        if (this != &other)
            Set(other.spec_);
        return *this;
    }
    ~SpecSafePointer() { Set(nullptr); }

    void Set(GlimmerkitSpec* spec);
    GlimmerkitSpec* Get() const noexcept { return spec_; }

private:
    friend class GlimmerkitSpec;
    // Unlinks and clears without touching the description's ring head (the description
    // walks the ring itself).
    void Detach() noexcept;

    GlimmerkitSpec* spec_ = nullptr;
    SpecSafePointer* next_ = this;
    SpecSafePointer* prev_ = this;
};
