// A script game object whose class comes from an asset's script: the class
// its asset's description names, or a class "CustomObject" compiled from source
// text the object carries. Its set-up runs in the context's delayed phases:
// phase 2 attaches the class, phase 3 enters the router and calls the
// script's Init with the object's own asset, then hands over the property
// soup when one waits. A failure at any step leaves the object failed, and
// the later steps do nothing.
#pragma once

#include <cstdint>

#include "config/kuid/KUID.h"
#include "config/tree/ACSChunk.h"
#include "gs/runtime/objects/GSGameObject.h"
#include "nyx/base/String.h"
#include "scriptapi/objects/DelayedInitClient.h"
#include "scriptapi/objects/ScriptSource.h"

class GlimmerkitSpec;
class KestroScriptContext;

class ScriptableObject : public GSRuntime::GSGameObject, public DelayedInitClient, public ScriptSource {
public:
    static constexpr const char* kCustomClass = "CustomObject";
    static constexpr const char* kInitSignature = "$void@KestroGameObject::Init(Asset)";
    static constexpr const char* kSetPropertiesSignature = "$void@PropertyObject::SetProperties(Soup)";
    // Where the object's own source is compiled, in the data root.
    static constexpr const char* kTempSource = "temp_object.gs";
    static constexpr const char* kTempLibrary = "temp_object.gsl";

    // Waits in the context's manager from now on when a context is given.
    explicit ScriptableObject(KestroScriptContext* context);
    ~ScriptableObject() override;

    // The class to attach: compiled from the source text, or the description's.
    virtual GSRuntime::GSClass* Instantiate();
    virtual bool IsValid(GSRuntime::GSClass* cls) { return cls != nullptr; }
    // The object's asset description with one reference for the caller, or null.
    virtual GlimmerkitSpec* GetSpec() = 0;
    // Phase 3's hooks: the first two before the script's Init, the last
    // after it.
    virtual void OnInitStart() {}
    virtual void OnInitReady() {}
    virtual void OnInitDone() {}

    void SetInitFlag2() override;
    void SetInitFlag4() override;

    Nyx::String GetSourceText() override;
    void SetSourceText(Nyx::String text) override;
    void SaveSourceText(TStream& stream) override;
    void LoadSourceText(TStream& stream) override;

    // The KUID of the description's asset, or the null KUID.
    KUID GetAssetKUID();
    // Hands the soup to the script unless the object failed; the soup goes
    // and nothing is pending afterwards.
    void SetProperties();
    // The soup phase 3 hands to the script.
    void SetPendingProperties(const ChunkRef& soup);

    KestroScriptContext* ScriptContext() const noexcept { return scriptContext_; }
    bool Failed() const noexcept { return failed_ != 0; }
    bool PropertiesPending() const noexcept { return propertiesPending_ != 0; }
    const Nyx::String& StoredSourceText() const noexcept { return sourceText_; }

    // The source made for an object without text of its own.
    static Nyx::String GenerateSourceText(const Nyx::String& className, const Nyx::String& baseClass,
                                          const Nyx::String& scriptFile);

private:
    // The text made from the description's class and script, whatever is stored.
    Nyx::String GeneratedSourceText();
    GSRuntime::GSClass* CompileSourceText();
    // A changed text after phase 3 takes the object through phases 2 and 3
    // again.
    void StoreSourceText(Nyx::String text);

    KestroScriptContext* scriptContext_;
    uint8_t failed_ = 0;
    uint8_t propertiesPending_ = 0;
    ChunkRef properties_;
    Nyx::String sourceText_;
};
