// Description factories: each makes the descriptions of one kind of asset. The registry
// picks the listed factory named like the asset's kind, else its default.
#pragma once

#include "config/kuid/KUID.h"
#include "config/tree/ACSChunk.h"
#include "nyx/base/PString.h"
#include "nyx/base/String.h"

class GlimmerkitSpec;

class QXSpecFactory {
public:
    explicit QXSpecFactory(const Nyx::PString& name) : name_(name) {}
    // Leaves the registry's factory list (and its default slot).
    virtual ~QXSpecFactory();
    QXSpecFactory(const QXSpecFactory&) = delete;
    QXSpecFactory& operator=(const QXSpecFactory&) = delete;

    // A new description with a count of 0, or null.
    virtual GlimmerkitSpec* Create(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                                   const Nyx::String& subPath, const ChunkRef& config) = 0;

    const Nyx::PString& Name() const noexcept { return name_; }

private:
    Nyx::PString name_;
};

// The factory of script-carrying assets.
class KADScript_KestroBaseSpecFactory : public QXSpecFactory {
public:
    static constexpr const char* kName = "--KADScript_KestroBaseSpecFactory--";

    KADScript_KestroBaseSpecFactory() : QXSpecFactory(Nyx::PString(kName)) {}

    GlimmerkitSpec* Create(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                           const Nyx::String& subPath, const ChunkRef& config) override;
};
