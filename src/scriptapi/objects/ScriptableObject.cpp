#include "scriptapi/objects/ScriptableObject.h"

#include <cstdio>
#include <string>

#include "core/files/ContentRoot.h"
#include "core/streams/TStream.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/objects/GSScriptInstance.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/runtime/router/GSRouter.h"
#include "scriptapi/asset/GSOAsset.h"
#include "scriptapi/cache/KestroBaseSpec.h"
#include "scriptapi/context/KestroScriptContext.h"
#include "scriptapi/data/GSOSoup.h"

using namespace GSRuntime;

namespace {

bool IsBlank(std::string_view text)
{
    return text.find_first_not_of(" \t\r\n") == std::string_view::npos;
}

// The extension of the last path component becomes `extension`.
std::string WithExtension(std::string_view path, std::string_view extension)
{
    std::string text(path);
    const size_t slash = text.find_last_of("/\\");
    const size_t dot = text.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        text.erase(dot);
    text += '.';
    text += extension;
    return text;
}

bool WriteFile(const Nyx::File::Path& path, const Nyx::String& text)
{
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out)
        return false;
    const bool written = std::fwrite(text.c_str(), 1, text.Length(), out) == text.Length();
    return std::fclose(out) == 0 && written;
}

}  // namespace

ScriptableObject::ScriptableObject(KestroScriptContext* context) : scriptContext_(context)
{
    initState_ = 0;
    if (context)
        Register(context);
}

ScriptableObject::~ScriptableObject()
{
    if (scriptContext_)
        Unregister(scriptContext_);
    sourceText_.Clear();
    properties_ = ChunkRef();
    ClearSafePointers();
}

// ------------------------------------------------------------ source text

Nyx::String ScriptableObject::GenerateSourceText(const Nyx::String& className, const Nyx::String& baseClass,
                                                 const Nyx::String& scriptFile)
{
    Nyx::String text;
    text += "include \"Kestro.gs\"\n\n";
    text += "include \"";
    text += scriptFile.View();
    text += "\"\n\n";
    text += "class ";
    text += className.View();
    text += " isclass ";
    text += baseClass.View();
    text += "\n{\n  public void Init(Asset self)\n  {\n    inherited(self);\n    //...\n  }\n};\n\n";
    return text;
}

Nyx::String ScriptableObject::GetSourceText()
{
    return sourceText_.Empty() ? GeneratedSourceText() : sourceText_;
}

Nyx::String ScriptableObject::GeneratedSourceText()
{
    Nyx::String baseClass("GameObject");
    Nyx::String scriptFile("gs.gs");
    if (GlimmerkitSpec* spec = GetSpec()) {
        if (auto* scripted = dynamic_cast<KestroBaseSpec*>(spec)) {
            if (!(scripted->StateFlags() & KestroBaseSpec::kScriptFound))
                scripted->FindScript();
            if (!scripted->ClassName().Empty())
                baseClass = Nyx::String(scripted->ClassName());
            if (!scripted->ScriptName().Empty())
                scriptFile = Nyx::String(WithExtension(scripted->ScriptName().View(), "gs"));
        }
        spec->Release();
    }
    return GenerateSourceText(Nyx::String(kCustomClass), baseClass, scriptFile);
}

void ScriptableObject::SetSourceText(Nyx::String text)
{
    if (IsBlank(text.View()))
        text.Clear();
    else if (text == GeneratedSourceText())
        return;
    StoreSourceText(std::move(text));
}

void ScriptableObject::SaveSourceText(TStream& stream) { stream.WriteString(Nyx::AnsiString(sourceText_)); }

void ScriptableObject::LoadSourceText(TStream& stream)
{
    Nyx::String text;
    stream.ReadString(text);
    StoreSourceText(std::move(text));
}

void ScriptableObject::StoreSourceText(Nyx::String text)
{
    if (text == sourceText_)
        return;
    sourceText_ = std::move(text);
    if (!scriptContext_ || !(initState_ & kPhase3Done))
        return;
    AttachClass(nullptr, nullptr);
    if (GSRouter* router = Router())
        router->RemoveNode(*this);
    initState_ &= static_cast<uint8_t>(~(kPhase2Done | kPhase3Done));
    SetInitFlag2();
    SetInitFlag4();
}

// ---------------------------------------------------------------- classes

KUID ScriptableObject::GetAssetKUID()
{
    GlimmerkitSpec* spec = GetSpec();
    if (!spec)
        return KUID::Null;
    const KUID kuid = spec->GetKUID();
    spec->Release();
    return kuid;
}

GSClass* ScriptableObject::Instantiate()
{
    if (!sourceText_.Empty())
        return CompileSourceText();
    GlimmerkitSpec* spec = GetSpec();
    if (!spec)
        return nullptr;
    GSClass* cls = nullptr;
    if (auto* scripted = dynamic_cast<KestroBaseSpec*>(spec))
        cls = scripted->GetGSClass();
    spec->Release();
    return cls;
}

GSClass* ScriptableObject::CompileSourceText()
{
    GlimmerkitSpec* spec = GetSpec();
    if (!spec)
        return nullptr;
    // The compiler finds the source through the include entry of this
    // folder and writes the library into it: one folder for both.
    Nyx::File::Path folder = GetContentRootPath();
    folder.AddPath("cache");
    Nyx::File::MakeFolder(folder);
    Nyx::File::Path source = folder;
    source.AddPath(kTempSource);
    Nyx::File::Path library = folder;
    library.AddPath(kTempLibrary);

    GSClass* cls = nullptr;
    if (WriteFile(source, sourceText_)) {
        GSCompiler::IncludePathList& includes = GSCompiler::IncludePathList::Global();
        includes.Clear();
        includes.Append(Nyx::File::Path(), Nyx::PString("scripts"));
        includes.Append(folder);
        includes.Append(spec->GetFolderPath(), spec->ArchiveName());
        int32_t errors;
        {
            GSCompiler::CompileSession session;
            errors = GSCompiler::CompileToLibraryFile(&session, kTempSource, library.c_str());
        }
        includes.Clear();
        if (errors == 0) {
            GSMachine& machine = scriptContext_ ? scriptContext_->Machine() : GSMachine::Get();
            LibraryId id;
            if (machine.AddLibrary(Nyx::PString(), folder.View(), kTempLibrary, &id)) {
                if (GSLibrary* loaded = machine.LoadLibrary(id))
                    cls = loaded->FindClass(kCustomClass);
            }
        }
    }
    Nyx::File::Unlink(library);
    Nyx::File::Unlink(source);
    spec->Release();
    return cls;
}

// ----------------------------------------------------------------- phases

void ScriptableObject::SetInitFlag2()
{
    initState_ |= kPhase2Done;
    failed_ = 1;
    if (!(initState_ & kNoClass)) {
        GSClass* cls = Instantiate();
        if (IsValid(cls)) {
            GSScriptInstance* instance = Instance();
            if (!instance)
                AttachClass(cls, scriptContext_);
            else if (instance->cls != cls)
                AttachClass(nullptr, nullptr);
        }
    }
    if (Instance())
        failed_ = 0;
}

void ScriptableObject::SetInitFlag4()
{
    initState_ |= kPhase3Done;
    if (failed_)
        return;
    if (scriptContext_ && scriptContext_->Router() && !Attached())
        scriptContext_->Router()->AddNode(*this);
    OnInitStart();
    OnInitReady();

    // The asset's object holds one reference for this call; a view that is
    // not of the Asset class goes as null.
    GSOAsset* asset = scriptContext_ ? GSOAsset::GetAssetObject(scriptContext_, GetAssetKUID()) : nullptr;
    GSSlot* assetView = asset ? GSObject::CastToClass(asset->GetInstance(), GSOAsset::ScriptClass()) : nullptr;
    const intptr_t args[] = {reinterpret_cast<intptr_t>(assetView)};
    GSScriptInstance* instance = Instance();
    const bool called = scriptContext_ && instance &&
                        scriptContext_->Machine().CallFunction(scriptContext_, instance->cls, GetInstance(),
                                                               kInitSignature, nullptr, args);
    if (asset)
        ReleasePart(asset->GetInstance());
    if (!called)
        failed_ = 1;
    if (!failed_) {
        OnInitDone();
        if (propertiesPending_)
            SetProperties();
    }
    Update(0.0f);
}

void ScriptableObject::SetPendingProperties(const ChunkRef& soup)
{
    properties_ = soup;
    propertiesPending_ = 1;
}

void ScriptableObject::SetProperties()
{
    if (!failed_) {
        GSOSoup* soup = GSOSoup::CreateLocked(scriptContext_, properties_);
        GSScriptInstance* instance = Instance();
        GSSlot* view = soup ? soup->GetInstance() : nullptr;
        const intptr_t args[] = {reinterpret_cast<intptr_t>(view)};
        const bool called = scriptContext_ && instance &&
                            scriptContext_->Machine().CallFunction(scriptContext_, instance->cls, GetInstance(),
                                                                   kSetPropertiesSignature, nullptr, args);
        if (view)
            ReleasePart(view);
        if (!called)
            failed_ = 1;
    }
    properties_ = ChunkRef();
    propertiesPending_ = 0;
}
