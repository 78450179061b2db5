#include "gs/runtime/RuntimeTestSupport.h"

#include <cstdarg>
#include <cstdio>

std::vector<std::string> LogCapture::Take()
{
    std::vector<std::string> lines;
    lines.swap(Lines());
    return lines;
}

std::vector<std::string>& LogCapture::Lines()
{
    static std::vector<std::string> lines;
    return lines;
}

void LogCapture::Catch(const char* fmt, ...)
{
    char text[4096];
    va_list args;
    va_start(args, fmt);
    std::vsnprintf(text, sizeof text, fmt, args);
    va_end(args);
    Lines().push_back(text);
}

LibraryId AddImage(GSMachine& machine, const TempFolder& dir, const std::string& file,
                   const std::vector<uint8_t>& image)
{
    dir.Write(file, Bytes(image));
    LibraryId id;
    EXPECT_TRUE(machine.AddLibrary(Nyx::PString(dir.Path()), "", file, &id)) << file;
    return id;
}
