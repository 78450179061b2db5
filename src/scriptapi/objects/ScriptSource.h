// Something that may carry its own script source text, saved and loaded
// with it. The plain form carries none.
#pragma once

#include "nyx/base/String.h"
#include "scriptapi/objects/SafePointer.h"

class TStream;

class ScriptSource : public SafePointerTarget<ScriptSource> {
public:
    virtual ~ScriptSource() = default;

    virtual Nyx::String GetSourceText() { return Nyx::String(); }
    virtual void SetSourceText(Nyx::String) {}
    virtual void SaveSourceText(TStream&) {}
    virtual void LoadSourceText(TStream&) {}
};
