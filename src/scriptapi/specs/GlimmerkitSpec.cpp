#include "scriptapi/specs/GlimmerkitSpec.h"

#include "kad/requests/KADRequests.h"
#include "scriptapi/UpdateTick.h"
#include "scriptapi/specs/SpecRegistry.h"

void SpecSafePointer::Set(GlimmerkitSpec* spec)
{
    if (spec_ == spec)
        return;
    Detach();
    if (!spec)
        return;
    spec_ = spec;
    SpecSafePointer& head = spec->safeRing_;
    next_ = head.next_;
    prev_ = &head;
    head.next_->prev_ = this;
    head.next_ = this;
}

void SpecSafePointer::Detach() noexcept
{
    next_->prev_ = prev_;
    prev_->next_ = next_;
    next_ = prev_ = this;
    spec_ = nullptr;
}

GlimmerkitSpec::GlimmerkitSpec(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                               const Nyx::String& subPath, const ChunkRef& config)
    : kuid_(kuid), archiveName_(archiveName), folder_(folder), subPath_(subPath), config_(config)
{
    lastRelease_.store(ToolClockSeconds(), std::memory_order_relaxed);
    if (kuid_ == KUID::Null)
        flags_ |= kFlagNullKUID;
}

GlimmerkitSpec::~GlimmerkitSpec()
{
    if (SpecRegistry* registry = SpecRegistry::Instance())
        registry->Forget(this);
    DetachSafePointers();
}

void GlimmerkitSpec::Release() noexcept
{
    // Stamped first: once the count is down a purge may delete the description.
    lastRelease_.store(ToolClockSeconds(), std::memory_order_relaxed);
    references_.fetch_sub(1, std::memory_order_acq_rel);
}

void GlimmerkitSpec::Retire()
{
    if (retired_)
        return;
    retired_ = 1;
    MarkReleased();
    if (SpecRegistry* registry = SpecRegistry::Instance())
        registry->Unregister(this);
}

Nyx::String GlimmerkitSpec::Describe() const
{
    std::string text(kuid_.ToString().View());
    text += " \"";
    text += KADRequests::GetAssetName(kuid_).View();
    text += '"';
    return Nyx::String(text);
}

Nyx::File::Path GlimmerkitSpec::GetFolderPath() const
{
    Nyx::File::Path path(folder_);
    path.AddPath(subPath_.View());
    return path;
}

void GlimmerkitSpec::DetachSafePointers() noexcept
{
    while (safeRing_.next_ != &safeRing_)
        safeRing_.next_->Detach();
}
