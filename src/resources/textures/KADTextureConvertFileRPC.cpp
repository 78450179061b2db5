#include "resources/textures/KADTextureConvertFileRPC.h"

#include <atomic>
#include <cstring>
#include <exception>

#include "config/results/ResultsLog.h"
#include "config/tree/TDBContainerTag.h"
#include "core/files/AssetFolderFiles.h"
#include "core/files/ContentRoot.h"
#include "kad/requests/KADRequests.h"
#include "nyx/resource/Resource.h"
#include "resources/archive/ArchiveCache.h"
#include "resources/textures/CompressAsciiResource.h"
#include "resources/textures/TextureCompress.h"

namespace {

bool HasParentComponent(std::string_view path)
{
    for (size_t at = 0; at <= path.size();) {
        size_t end = path.find('/', at);
        if (end == std::string_view::npos)
            end = path.size();
        if (path.substr(at, end - at) == "..")
            return true;
        at = end + 1;
    }
    return false;
}

std::atomic<uint32_t> g_openFiles{0};
std::atomic<uint32_t> g_peakOpenFiles{0};

}  // namespace

uint32_t KADTextureConvertFileRPC::GetPeakOpenFiles() { return g_peakOpenFiles.load(); }

void KADTextureConvertFileRPC::ResetPeakOpenFiles() { g_peakOpenFiles.store(g_openFiles.load()); }

KADTextureConvertFileRPC::KADTextureConvertFileRPC(const Nyx::PString& archiveName, const Nyx::File::Path& path,
                                                   ResultsLog* log)
    : archiveName_(archiveName), path_(path), log_(log)
{
    prepared_ = Prepare();
    chain_.AppendCall(new TCXCallbackCPPVoidPtr<KADTextureConvertFileRPC>(this, &KADTextureConvertFileRPC::Open),
                      kOpenFlags);
    chain_.AppendCall(new TCXCallbackCPPVoidPtr<KADTextureConvertFileRPC>(this, &KADTextureConvertFileRPC::Write),
                      kWriteFlags);
    chain_.AppendCall(new TCXCallbackCPPVoidPtr<KADTextureConvertFileRPC>(this, &KADTextureConvertFileRPC::CleanUp),
                      kCleanUpFlags);
    chain_.Start();
}

KADTextureConvertFileRPC::~KADTextureConvertFileRPC() { chain_.WaitIdle(); }

bool KADTextureConvertFileRPC::Wait()
{
    chain_.WaitIdle();
    return success_;
}

void KADTextureConvertFileRPC::Error(const char* text, const std::string& fileName)
{
    success_ = false;
    if (!log_)
        return;
    ChunkRef parameters;
    if (std::strstr(text, "$(FILE_NAME)"))
        TDBContainerTag::SetString(parameters, Nyx::PString("file_name"), Nyx::PString(fileName));
    if (std::strstr(text, "$(ARCHIVE)"))
        TDBContainerTag::SetString(parameters, Nyx::PString("archive"), archiveName_);
    ResultsLog::AddResult(*log_, ResultsLog::kError, Nyx::String(text), &parameters);
}

bool KADTextureConvertFileRPC::Prepare()
{
    if (archiveName_.Empty()) {
        Nyx::File::Path relative = path_;
        if (!relative.MakeRelativeTo(GetContentRootPath())) {
            Error("Unable to determine relative path for '$(FILE_NAME)'", path_.Str());
            return false;
        }
        archiveName_ = Nyx::PStringCache::ToLower(Nyx::PString(relative.ExtractFirstPath()));
        path_ = relative;
    }

    // The old compiled texture goes first, so a failed conversion leaves none.
    outputPath_ = path_;
    outputPath_.SetExt("");
    if (!HasParentComponent(outputPath_.View())) {
        Nyx::File::Path output = GetContentRootPath();
        output.AddPath(archiveName_.View());
        output.AddPath(outputPath_.View());
        if (!Nyx::File::IsFolder(output))
            Nyx::File::Unlink(output);
    }

    sourcePath_ = path_;
    path_.SetExt("");
    path_.SetExt("convert-tex.txt");
    if (!RenameContentFile(archiveName_, sourcePath_, path_)) {
        Error("Unable to rename file '$(FILE_NAME)' in subst '$(ARCHIVE)'", sourcePath_.Str());
        return false;
    }
    movedAside_ = true;
    temporaryPath_ = path_;
    path_.SetExt("");
    return true;
}

void KADTextureConvertFileRPC::Open(void*)
{
    if (!prepared_)
        return;
    counted_ = true;
    const uint32_t open = g_openFiles.fetch_add(1) + 1;
    for (uint32_t peak = g_peakOpenFiles.load(); open > peak && !g_peakOpenFiles.compare_exchange_weak(peak, open);) {
    }
    database_ = ArchiveCache::Acquire(archiveName_, GetContentRootPath());
    if (!database_) {
        Error("Unable to open subst '$(ARCHIVE)'");
        return;
    }
    const std::string name = path_.Str();
    Nyx::Resource* resource = database_->Get(Nyx::PString(name), Nyx::ResourceDatabase::kGetCreate);
    if (!resource) {
        Error("Unable to open source texture '$(FILE_NAME)' in subst '$(ARCHIVE)'", name);
        return;
    }
    texture_ = dynamic_cast<CompressAsciiResource*>(resource);
    if (!texture_) {
        resource->ReleaseReference();
        Error("Incorrect resource type for source texture '$(FILE_NAME)' in subst '$(ARCHIVE)'", name);
        return;
    }
    options_.ProcessRaw(kOptions);
    texture_->SetOptions(&options_);
    if (!texture_->Lock()) {
        Error("Unable to load source texture '$(FILE_NAME)' in subst '$(ARCHIVE)'", name);
        return;
    }
    // The base lock: the compression runs in the write step.
    if (!texture_->Nyx::AsciiTextureResource::GetMipLock()) {
        Error("Lock failed for source texture '$(FILE_NAME)' in subst '$(ARCHIVE)'", name);
        texture_->Unlock();
        return;
    }
    locked_ = true;
}

void KADTextureConvertFileRPC::Write(void*)
{
    if (locked_) {
        try {
            // The daemon's answer false asks for hardware acceleration.
            const bool accelerate = !KADRequests::Request181();
            if (!texture_->SaveCompressed(archiveName_, outputPath_, accelerate)) {
                Error("Unable to write output file '$(FILE_NAME)'", outputPath_.Str());
                // Read on this thread, right after its own compression.
                const Nyx::PString lastError = TextureCompress::GetLastError();
                if (!lastError.Empty() && log_)
                    ResultsLog::AddResult(*log_, ResultsLog::kInformation, Nyx::String(lastError.View()));
            }
        } catch (const std::exception& e) {
            success_ = false;
            if (log_) {
                ChunkRef parameters;
                TDBContainerTag::SetString(parameters, Nyx::PString("error"), Nyx::PString(e.what()));
                TDBContainerTag::SetString(parameters, Nyx::PString("file_name"), Nyx::PString(outputPath_.View()));
                ResultsLog::AddResult(*log_, ResultsLog::kError,
                                      Nyx::String("Exception '$(ERROR)' thrown while processing '$(FILE_NAME)'"),
                                      &parameters);
            }
        }
    }
    if (movedAside_) {
        RenameContentFile(archiveName_, temporaryPath_, sourcePath_);
        movedAside_ = false;
    }
}

void KADTextureConvertFileRPC::CleanUp(void*)
{
    if (locked_) {
        texture_->GetMipUnlock();
        texture_->Unlock();
        locked_ = false;
    }
    if (texture_) {
        texture_->ReleaseReference();
        texture_ = nullptr;
    }
    ArchiveCache::Release(database_);
    database_ = nullptr;
    if (counted_) {
        g_openFiles.fetch_sub(1);
        counted_ = false;
    }
}
