// The conversion of one texture description, in three steps run one after
// another through the job queue: open (main thread: the archive, the
// texture resource, its load and mip lock), write (a worker: compression
// and the compiled file, then the description back under its name) and
// clean-up (main thread: the locks, the texture, the archive).
//
// While it converts, the description lies under "<body>.convert-tex.txt",
// the name the compressing resource type serves.
#pragma once

#include <cstdint>
#include <string>

#include "core/threads/KestroWorkerCallChain.h"
#include "nyx/files/File.h"
#include "nyx/files/Options.h"
#include "nyx/base/PString.h"

class CompressAsciiResource;
class KestroResourceDatabase;
class ResultsLog;

class KADTextureConvertFileRPC {
public:
    // Job flags of the three steps.
    static constexpr uint32_t kOpenFlags = 0xB;
    static constexpr uint32_t kWriteFlags = 0x18;
    static constexpr uint32_t kCleanUpFlags = 9;
    // The options every conversion runs with.
    static constexpr const char* kOptions = "-Automip=none -Compression=auto";

    // Prepares the file (on the calling thread) and starts its steps. An
    // empty archive name takes the archive from the path's first component
    // below the content root.
    KADTextureConvertFileRPC(const Nyx::PString& archiveName, const Nyx::File::Path& path, ResultsLog* log);
    // The steps must have run (Wait).
    ~KADTextureConvertFileRPC();
    KADTextureConvertFileRPC(const KADTextureConvertFileRPC&) = delete;
    KADTextureConvertFileRPC& operator=(const KADTextureConvertFileRPC&) = delete;

    // Waits until the three steps have run; true when the file converted.
    bool Wait();

    // For diagnostics and tests: the most files between their open step and
    // their clean-up at one time since the last reset.
    static uint32_t GetPeakOpenFiles();
    static void ResetPeakOpenFiles();

private:
    bool Prepare();
    void Open(void*);
    void Write(void*);
    void CleanUp(void*);
    void Error(const char* text, const std::string& fileName);
    void Error(const char* text) { Error(text, std::string()); }

    Nyx::PString archiveName_;
    Nyx::File::Path path_;
    ResultsLog* log_;
    bool success_ = true;
    // A failed preparation leaves nothing to open or write.
    bool prepared_ = false;
    KestroWorkerCallChain chain_;
    KestroResourceDatabase* database_ = nullptr;
    CompressAsciiResource* texture_ = nullptr;
    bool locked_ = false;
    bool counted_ = false;  // among the open files
    bool movedAside_ = false;
    Nyx::File::Path temporaryPath_;
    Nyx::File::Path sourcePath_;
    Nyx::File::Path outputPath_;
    Nyx::Options options_;
};
