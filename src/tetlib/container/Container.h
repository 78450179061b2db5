// One container of an asset's config under check. This is the container's
// first form: its identity, its name, the config it checks and its
// clean-up. Its template check answers true for every config for now; the
// walk over the config against the definitions replaces it.
#pragma once

#include "config/ACSChunk.h"
#include "nyx/PString.h"
#include "tetlib/errors/ObjectSerial.h"

namespace TETLib {

class Container {
public:
    Container();
    Container(const Container&) = delete;
    Container& operator=(const Container&) = delete;
    // Takes the container's messages and registrations away from the error
    // handler and the data manager, as far as they exist.
    virtual ~Container();

    // Checks a whole config; keeps a reference on its root.
    virtual bool Check(const ChunkRef& config);
    // The content check of the content step.
    virtual bool CheckContent(const ChunkRef& config);

    ContainerSerial Serial() const noexcept { return serial_; }
    const Nyx::PString& GetName() const noexcept { return name_; }
    void SetName(const Nyx::PString& name) { name_ = name; }
    // The config the container checks; null before Check.
    const ChunkRef& GetConfig() const noexcept { return config_; }

private:
    ContainerSerial serial_;
    Nyx::PString name_;
    ChunkRef config_;
};

}  // namespace TETLib
