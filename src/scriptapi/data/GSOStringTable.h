// The native object behind the script class StringTable: the texts of one
// asset's "string-table" container by key, with ten numbered parameters
// that fill "$0" to "$9" placeholders; keys the asset lacks fall back to
// the tool's interface text.
#pragma once

#include <string>

#include "config/tree/ACSChunk.h"
#include "gs/runtime/objects/GSObject.h"
#include "nyx/base/PString.h"

class GSMachine;
class GlimmerkitSpec;

namespace GSRuntime {
class GSClass;
class GSThread;
}

class GSOStringTable : public GSRuntime::GSObject {
public:
    static constexpr int kParamCount = 10;

    // Over an asset's description (held counted while the table lives) and the
    // "string-table" child of its config (none when the config has no such
    // container).
    GSOStringTable(GSRuntime::GSContext* context, GlimmerkitSpec* spec);
    ~GSOStringTable() override;

    // The language of the interface text; "english" when it names none.
    static Nyx::PString Language();
    // The key's text with its placeholders filled; the lower-cased key
    // itself where neither the table nor the interface text has it.
    Nyx::PString Lookup(const Nyx::PString& key) const;
    // Fills placeholders from the parameters: "$$" is one "$", "$d" is
    // parameter d, any other "$" stays; inserted text is not scanned again.
    std::string FillParams(std::string_view raw) const;
    // False for an index outside 0..9.
    bool SetParam(int32_t index, const Nyx::PString& text);
    void ClearParams();

    static void RegisterNatives(GSMachine& machine);
    static bool LoadScriptClass(GSMachine& machine);
    // The class its objects attach, from the system class slots.
    static GSRuntime::GSClass* ScriptClass() noexcept;

    void NativeGetLanguage(GSRuntime::GSThread& thread);
    void NativeClearParams(GSRuntime::GSThread& thread);
    void NativeSetParam(GSRuntime::GSThread& thread);
    void NativeGetString(GSRuntime::GSThread& thread);

private:
    GlimmerkitSpec* spec_;
    ChunkRef table_;
    Nyx::PString params_[kParamCount];
};
