// Finds one source file through the include-path list, loads it (plain or
// scrambled), refuses a UTF-8 file, scans and parses it into the context
// and records its two checksums. Returns 0 on success and 1 on failure;
// the errors are counted in the context.
#pragma once

#include <string_view>

namespace GSCompiler {

class SourceContext;

int ReadAndParseSource(std::string_view name, SourceContext& context);

}  // namespace GSCompiler
