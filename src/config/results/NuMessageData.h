// A message passed between recipients: an interned type name, compared by
// identity, and an untyped payload (for the messages the results log sends,
// the object the message is about).
#pragma once

#include "nyx/base/PString.h"

class NuMessageData {
public:
    NuMessageData(const Nyx::PString& name, void* data) : name_(name), data_(data) {}
    NuMessageData(const NuMessageData&) = delete;
    NuMessageData& operator=(const NuMessageData&) = delete;
    virtual ~NuMessageData() = default;

    const Nyx::PString& GetName() const noexcept { return name_; }
    void* GetData() const noexcept { return data_; }

private:
    Nyx::PString name_;
    void* data_;
};

// The message names. Each is made on first use and never destroyed, so static
// initialisers and destructors of any unit may post them.
const Nyx::PString& NuMessageListUpdated();    // "list-updated": data is the list
const Nyx::PString& NuMessageListDestroyed();  // "list-destroyed": data is the list
const Nyx::PString& NuMessagePipeClosed();     // "pipe-closed": data is the pipe's receiver
