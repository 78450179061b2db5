#include "kaddaemon/TraceLog.h"

namespace kaddaemon {

TraceLog::~TraceLog()
{
    if (file_)
        std::fclose(file_);
}

bool TraceLog::Open(const std::string& path)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (file_)
        std::fclose(file_);
    file_ = std::fopen(path.c_str(), "we");
    return file_ != nullptr;
}

void TraceLog::Frame(const char* direction, const char* kind, uint32_t number, uint32_t id, uint32_t length)
{
    std::lock_guard<std::mutex> hold(lock_);
    if (!file_)
        return;
    std::fprintf(file_, "%s %s %u %u %u\n", direction, kind, number, id, length);
    std::fflush(file_);
}

}  // namespace kaddaemon
