#include "scriptapi/cache/KestroBaseSpec.h"

#include <cctype>
#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/ContentRoot.h"
#include "core/process/Log.h"
#include "gs/compiler/driver/CompileSession.h"
#include "gs/compiler/driver/Compiler.h"
#include "gs/compiler/driver/IncludePathList.h"
#include "gs/runtime/library/GSClass.h"
#include "gs/runtime/library/GSLibrary.h"
#include "gs/runtime/registry/GSMachine.h"
#include "gs/support/store/LibraryNameCrc.h"
#include "gs/support/store/ScriptFileStore.h"
#include "kad/client/AssetText.h"
#include "kad/requests/AssetRecord.h"
#include "kad/requests/CategoryExpression.h"
#include "kad/requests/KADRequests.h"
#include "scriptapi/cache/ScriptCompileState.h"
#include "scriptapi/specs/SpecRegistry.h"

namespace {

bool EndsWithNoCase(std::string_view text, std::string_view end)
{
    if (text.size() < end.size())
        return false;
    for (size_t i = 0; i < end.size(); ++i) {
        char c = text[text.size() - end.size() + i];
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
        if (c != end[i])
            return false;
    }
    return true;
}

bool EqualsNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    }
    return true;
}

// A scrambled source and its plain form name one script.
std::string WithoutFinalE(std::string_view path)
{
    std::string text(path);
    if (!text.empty() && (text.back() == 'e' || text.back() == 'E'))
        text.pop_back();
    return text;
}

std::string WithExtension(std::string_view path, std::string_view extension)
{
    std::string text(path);
    const size_t slash = text.find_last_of('/');
    const size_t dot = text.find_last_of('.');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        text.erase(dot);
    text += '.';
    text += extension;
    return text;
}

int32_t Hundredths(float value) { return static_cast<int32_t>(value * 100.0f); }

void AddError(ResultsLog& log, const std::string& text, const ChunkRef* parameters = nullptr)
{
    ResultsLog::AddResult(log, ResultsLog::kError, Nyx::String(text), parameters);
}

std::string Format(const char* fmt, const std::string& argument)
{
    std::vector<char> text(argument.size() + std::char_traits<char>::length(fmt) + 1);
    std::snprintf(text.data(), text.size(), fmt, argument.c_str());
    return std::string(text.data());
}

// Sets the compiler's include-path list aside for the time of one cache
// run and puts it back as it was.
class SavedIncludePaths {
public:
    SavedIncludePaths() : saved_(GSCompiler::IncludePathList::Global().Items())
    {
        GSCompiler::IncludePathList::Global().Clear();
    }
    ~SavedIncludePaths()
    {
        GSCompiler::IncludePathList& list = GSCompiler::IncludePathList::Global();
        list.Clear();
        for (const GSCompiler::IncludePath& entry : saved_)
            list.Append(entry.folder, entry.container);
        ScriptPrologueText().clear();
        ScriptFileStore::SetPendingPrefix({});
    }
    SavedIncludePaths(const SavedIncludePaths&) = delete;
    SavedIncludePaths& operator=(const SavedIncludePaths&) = delete;

private:
    GSCompiler::IncludePathList::Entries saved_;
};

// An asset's script folder as the compiler searches it. Without an archive
// the folder itself is the base its files are opened in, so that they are
// held to the content's file rule (no link out of the folder is read).
void AddScriptFolder(const Nyx::File::Path& folder, const Nyx::PString& archiveName, bool front)
{
    GSCompiler::IncludePathList& list = GSCompiler::IncludePathList::Global();
    const Nyx::File::Path path = archiveName.Empty() ? Nyx::File::Path() : folder;
    const Nyx::PString container = archiveName.Empty() ? Nyx::PString(folder.View()) : archiveName;
    if (front)
        list.PushFront(path, container);
    else
        list.Append(path, container);
}

// The compiler reads a scrambled source through its plain name and takes a
// plain file of that name first. When both lie in the folder, the scrambled
// one's text is handed to it through a folder searched before all others.
class ScrambledSourceStage {
public:
    ScrambledSourceStage(const Nyx::File::Path& folder, const std::string& fileName, const char* text,
                         uint32_t length)
    {
        const std::string plainName = WithoutFinalE(fileName);
        if (plainName == fileName)
            return;
        Nyx::File::Path plain = folder;
        plain.AddPath(plainName);
        if (Nyx::File::Exists(plain) != 0)
            return;
        stage_ = KestroBaseSpec::CacheFolder();
        stage_.AddPath("source");
        Nyx::File::MakeFolder(stage_);
        file_ = stage_;
        file_.AddPath(plainName);
        std::FILE* out = std::fopen(file_.c_str(), "wb");
        if (!out)
            return;
        const bool written = std::fwrite(text, 1, length, out) == length;
        if (std::fclose(out) == 0 && written)
            GSCompiler::IncludePathList::Global().PushFront(stage_);
        else
            Nyx::File::Unlink(file_);
    }
    ~ScrambledSourceStage()
    {
        if (file_.Empty())
            return;
        GSCompiler::IncludePathList& list = GSCompiler::IncludePathList::Global();
        GSCompiler::IncludePathList::Entries kept;
        for (const GSCompiler::IncludePath& entry : list.Items()) {
            if (!(entry.folder == stage_ && entry.container.Empty()))
                kept.push_back(entry);
        }
        list.Clear();
        for (const GSCompiler::IncludePath& entry : kept)
            list.Append(entry.folder, entry.container);
        Nyx::File::Unlink(file_);
    }
    ScrambledSourceStage(const ScrambledSourceStage&) = delete;
    ScrambledSourceStage& operator=(const ScrambledSourceStage&) = delete;

private:
    Nyx::File::Path stage_;
    Nyx::File::Path file_;
};

}  // namespace

KestroBaseSpec::KestroBaseSpec(const KUID& kuid, const Nyx::PString& archiveName, const Nyx::String& folder,
                               const Nyx::String& subPath, const ChunkRef& config)
    : GlimmerkitSpec(kuid, archiveName, folder, subPath, config)
{
    if (config.IsNullOrUntyped())
        return;
    build_ = GetConfigBuildVersion(config);
    SetKindString(TDBContainerTag::GetString(config, Nyx::PString("kind")));
    if (BuildBelow(2.50f)) {
        Nyx::PString file = TDBContainerTag::GetString(config, Nyx::PString("asset-filename"));
        SetThirdString(file.Empty() ? subPath : Nyx::String(file));
    } else {
        SetThirdString(Nyx::String("default"));
    }
}

bool KestroBaseSpec::BuildBelow(float x) const noexcept { return Hundredths(build_) < Hundredths(x); }

bool KestroBaseSpec::BuildAtLeast(float x) const noexcept { return Hundredths(build_) >= Hundredths(x); }

Nyx::File::Path KestroBaseSpec::CacheFolder()
{
    Nyx::File::Path folder = GetContentRootPath();
    folder.AddPath("cache/libraries");
    return folder;
}

void KestroBaseSpec::FindScript()
{
    state_ &= static_cast<uint8_t>(~kScriptFound);
    Nyx::File::Path path;
    Nyx::PString className;
    if (!KADRequests::GetAssetScriptPath(GetKUID(), path, className)) {
        OnScriptNotFound();
        return;
    }
    if (path.Empty())
        return;
    std::string name = WithExtension(path.View(), "gsl");
    if (!name.empty() && name[0] == '/') {
        name.erase(0, 1);
        state_ |= kSystemLibrary;
    }
    scriptName_ = Nyx::PString(name);
    className_ = className;
    state_ |= kScriptFound;
}

bool KestroBaseSpec::PrepareIncludes()
{
    if (BuildAtLeast(2.90f)) {
        ChunkRef table = TDBContainerTag::GetChildContainer(Config(), Nyx::PString("script-include-table"));
        const uint32_t count = table.ChildCount();
        for (uint32_t i = 0; i < count; ++i) {
            const Nyx::PString name = TDBContainerTag::GetChildName(table, i);
            const KUID kuid = TDBContainerTag::GetKUID(table, name, KUID::Null);
            KestroBaseSpec* included = FindKestroBaseSpec(kuid, true);
            if (!included)
                return false;
            included->FindScript();
            included->GetCompiledLibrary();
            AddScriptFolder(included->GetFolderPath(), included->ArchiveName(), true);
            included->Release();
        }
    } else {
        const Nyx::PString kind = KindString();
        if (EqualsNoCase(kind.View(), "activity") || EqualsNoCase(kind.View(), "behavior"))
            ScriptPrologueText() += "include \"ScenarioStringTable.gs\"\r\n";
    }
    return true;
}

bool KestroBaseSpec::CacheScripts(const Nyx::PString& archiveName, const Nyx::File::Path& folder,
                                  const Nyx::File::Path& primaryPath, ResultsLog& log)
{
    // The answer of the run that did the work: a second call must not turn
    // a failure into a success.
    if (state_ & kScriptsCached)
        return cacheResult_;
    state_ |= kScriptsCached;

    bool result = true;
    ScriptPrologueText().clear();
    {
        SavedIncludePaths saved;
        PrepareIncludes();
        AddScriptFolder(folder, archiveName, false);
        GSCompiler::IncludePathList::Global().PushFront(Nyx::File::Path(), Nyx::PString("scripts"));

        Nyx::File::Path pattern = folder;
        pattern.AddPath("*.*");
        Nyx::File::Find find(pattern);
        bool primaryFound = false;
        while (find.Next()) {
            if (find.IsFolder())
                continue;
            const std::string& name = find.Name();
            if (!EndsWithNoCase(name, ".gs") && !EndsWithNoCase(name, ".gse"))
                continue;
            if (!CacheOneScript(archiveName, folder, name, primaryPath, primaryFound, log))
                result = false;
        }
        if (!primaryPath.Empty() && !primaryFound) {
            ChunkRef parameters;
            TDBContainerTag::SetString(parameters, Nyx::PString("filename"), Nyx::PString(primaryPath.View()));
            AddError(log, "Unable to locate primary script source file '$(FILENAME)'", &parameters);
            result = false;
        }
    }
    cacheResult_ = result;
    return result;
}

bool KestroBaseSpec::CacheOneScript(const Nyx::PString& archiveName, const Nyx::File::Path& folder,
                                    const std::string& fileName, const Nyx::File::Path& primaryPath,
                                    bool& primaryFound, ResultsLog& log)
{
    Nyx::File::Path sourcePath = folder;
    sourcePath.AddPath(fileName);

    ScriptFileStore store;
    const char* text = nullptr;
    // Without an archive the source is taken inside the asset's folder, so
    // that a link cannot lead the read out of it.
    const bool opened = archiveName.Empty() ? store.Open(Nyx::PString(folder.View()), Nyx::File::Path(fileName))
                                            : store.Open(archiveName, sourcePath);
    if (opened && (!store.IsPacked() || store.Unpack()))
        text = store.GetText();
    if (!text) {
        AddError(log, Format("Unable to read script source file '%s'", sourcePath.Str()));
        return false;
    }
    const uint32_t length = store.GetLength();
    const uint32_t prefix = store.GetPrefixLength() <= length ? store.GetPrefixLength() : length;
    const ScriptSourceCrcs crcs = ScriptLibraryCrcs(text + prefix, length - prefix, fileName);
    const LibraryId expected{crcs.source, crcs.name};
    const std::string cacheName = ScriptCacheFileName(crcs);
    const Nyx::File::Path cacheFolder = CacheFolder();
    Nyx::File::Path cachePath = cacheFolder;
    cachePath.AddPath(cacheName);

    GSMachine& machine = GSMachine::Get();
    bool recompiled = false;
    for (;;) {
        if (Nyx::File::Exists(cachePath) == 0) {
            LibraryId id;
            const bool loaded = machine.AddLibrary(Nyx::PString(), cacheFolder.View(), cacheName, &id);
            if (loaded && id == expected) {
                if (!primaryFound && EqualsNoCase(WithoutFinalE(sourcePath.View()), primaryPath.View())) {
                    primaryFound = true;
                    libraryId_ = expected;
                }
                return true;
            }
            // A file that does not load is as stale as one of another
            // source: it is rebuilt once like that one.
            if (recompiled) {
                if (loaded)
                    AddError(log, Format("CRC Mismatch on '%s' after recompile. Do you have both .gs and .gse "
                                         "present?",
                                         cacheName));
                return false;
            }
            Nyx::File::Unlink(cachePath);
        }

        ScriptFileStore::SetPendingPrefix(ScriptPrologueText());
        recompiled = true;
        GSCompiler::CompileSession session;
        int32_t errors;
        {
            ScrambledSourceStage stage(folder, fileName, text + prefix, length - prefix);
            errors = GSCompiler::CompileToLibraryFile(&session, fileName.c_str(), cachePath.c_str());
        }
        ScriptFileStore::SetPendingPrefix({});
        if (errors != 0) {
            LogMessage("KestroBaseSpec::CacheScripts> Syntax error in script of asset '%s'", Describe().c_str());
            while (const char* line = session.TakeLine()) {
                LogMessage("KestroBaseSpec::CacheScripts> ** GSC> %s", line);
                AddError(log, line);
            }
            return false;
        }
    }
}

GSRuntime::GSLibrary* KestroBaseSpec::GetCompiledLibrary()
{
    GSMachine& machine = GSMachine::Get();
    if (state_ & kSystemLibrary)
        return scriptName_.Empty() ? nullptr : machine.GetLibrary(scriptName_.View());
    if (libraryId_ == LibraryId{}) {
        const Nyx::File::Path folder = GetFolderPath();
        ResultsLog discarded;
        CacheScripts(ArchiveName(), folder, PrimaryPath(folder), discarded);
        if (libraryId_ == LibraryId{})
            return nullptr;
    }
    return machine.LoadLibrary(libraryId_);
}

GSRuntime::GSClass* KestroBaseSpec::GetGSClass()
{
    if (state_ & kClassLookedUp)
        return linkedClass_;
    linkedClass_ = nullptr;
    FindScript();
    if (!scriptName_.Empty()) {
        if (GSRuntime::GSLibrary* library = GetCompiledLibrary()) {
            linkedClass_ = library->FindClass(className_.c_str());
            if (!linkedClass_)
                LogMessage("KestroBaseSpec::GetGSClass> Could not load Kestro class %s from library %s for %s",
                           className_.c_str(), scriptName_.c_str(), Describe().c_str());
        } else {
            LogMessage("KestroBaseSpec::GetGSClass> Could not load Kestro library %s for '%s'", scriptName_.c_str(),
                       Describe().c_str());
        }
    }
    state_ |= kClassLookedUp;
    return linkedClass_;
}

Nyx::File::Path KestroBaseSpec::PrimaryPath(const Nyx::File::Path& folder) const
{
    Nyx::File::Path path = folder;
    path.AddPath(WithExtension(scriptName_.View(), "gs"));
    return path;
}

bool KestroBaseSpec::CheckScriptClass(ResultsLog& log)
{
    state_ &= static_cast<uint8_t>(~(kClassLookedUp | kScriptsCached));
    FindScript();
    if (scriptName_.Empty() || (state_ & kSystemLibrary))
        return true;

    const Nyx::File::Path folder = GetFolderPath();
    if (!CacheScripts(ArchiveName(), folder, PrimaryPath(folder), log))
        return false;
    GSRuntime::GSClass* cls = GetGSClass();
    if (!cls) {
        AddError(log, "Unable to link compiled script class.");
        return false;
    }

    AssetRecord record;
    KADRequests::GetAssetInfo(GetKUID(), record, AssetRecord::kMaskTexts);
    const std::string category(record.categoryText.View());
    const bool vehicle = CategoryExpression::Matches("TR;TV", category.c_str());
    const bool signal = CategoryExpression::Matches("?WA", category.c_str());
    const bool trackside = vehicle || signal || CategoryExpression::Matches("TO", category.c_str());

    const struct {
        bool wanted;
        const char* base;
        const char* message;
    } kChecks[] = {
        {vehicle, "Vehicle", "Script class does not match asset kind (vehicle)."},
        {trackside, "Trackside", "Script class does not match asset kind (trackside)."},
        {signal, "Signal", "Script class does not match asset kind (signal)."},
    };
    for (const auto& check : kChecks) {
        if (cls->IsDerivedFrom(check.base) != check.wanted) {
            AddError(log, check.message);
            return false;
        }
    }
    return true;
}

bool KestroBaseSpec::IsLocallyModified()
{
    if (!(modification_ & 1)) {
        AssetRecord record;
        const bool asked = KADRequests::GetAssetInfo(GetKUID(), record, AssetRecord::kMaskFlags);
        const bool modified = !asked || !record.known || record.GetFlag(AssetRecord::kFlagLocallyModified);
        modification_ = static_cast<uint8_t>(1 | (modified ? 2 : 0));
    }
    return (modification_ & 2) != 0;
}

bool IsKestroBaseSpec(const GlimmerkitSpec* spec) { return dynamic_cast<const KestroBaseSpec*>(spec) != nullptr; }

KestroBaseSpec* FindKestroBaseSpec(const KUID& kuid, bool keep)
{
    SpecRegistry* registry = SpecRegistry::Instance();
    if (!registry)
        return nullptr;
    GlimmerkitSpec* spec = nullptr;
    registry->FindByKUID(spec, kuid, &IsKestroBaseSpec, keep);
    return static_cast<KestroBaseSpec*>(spec);
}
