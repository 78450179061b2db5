#include "gs/compiler/parse/SourceContext.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

#include "gs/compiler/driver/CompileSession.h"

namespace GSCompiler {

namespace {

SourceContext* g_current = nullptr;

}  // namespace

SourceContext* SourceContext::Current() noexcept { return g_current; }

void SourceContext::SetCurrent(SourceContext* context) noexcept { g_current = context; }

SourceContext::SourceContext() = default;

SourceContext::~SourceContext()
{
    if (g_current == this)
        g_current = nullptr;
}

void SourceContext::Init(GSSymbolTable* symbols, CompileSession* sink)
{
    symbols_ = symbols;
    sink_ = sink;
}

bool SourceContext::SetFileName(std::string_view name)
{
    fileName_ = texts_.CopyText(name);
    return fileName_ != nullptr;
}

void SourceContext::Send(const char* fileName, bool withPrefix, int32_t line, const char* format, va_list args)
{
    if (!sink_)
        return;
    char text[kMessageLimit + 1];
    std::vsnprintf(text, sizeof text, format, args);
    if (!withPrefix) {
        sink_->AddMessage(text);
        return;
    }
    std::string message = fileName ? fileName : "";
    message += '(';
    message += std::to_string(line);
    message += ") : ";
    message += text;
    sink_->AddMessage(message);
}

void SourceContext::Message(const char* format, ...)
{
    va_list args;
    va_start(args, format);
    Send(nullptr, false, 0, format, args);
    va_end(args);
}

void SourceContext::Report(bool isError, bool isWarning, int32_t line, const char* format, ...)
{
    if (isError)
        ++errors_;
    if (isWarning)
        ++warnings_;
    va_list args;
    va_start(args, format);
    Send(FileName(), true, line, format, args);
    va_end(args);
}

void SourceContext::ReportInFile(const char* fileName, bool isError, bool isWarning, int32_t line,
                                 const char* format, ...)
{
    if (isError)
        ++errors_;
    if (isWarning)
        ++warnings_;
    va_list args;
    va_start(args, format);
    Send(fileName, true, line, format, args);
    va_end(args);
}

}  // namespace GSCompiler
