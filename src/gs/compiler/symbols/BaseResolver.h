// Resolving the bases of a class: each base name waiting in the class is
// found, checked, resolved in its turn and added with its field and method
// offsets, followed by the bases it brings in. The four derivation
// messages are reported as errors of the current file, under the name of
// the file that declares the class. A failure empties the waiting list and
// is remembered, so it is reported once.
#pragma once

namespace GSCompiler {

class GSClassSymbol;
class GSSymbolTable;

class BaseResolver {
public:
    // A class may hold no more bases than this, counting those that its
    // bases bring in: base lists are copied into every derived class.
    static constexpr int kMaxBases = 256;

    explicit BaseResolver(GSSymbolTable& symbols) : symbols_(symbols) {}

    // True when every base of the class is resolved (at once when nothing
    // waits); false when a base failed now or before.
    bool Resolve(GSClassSymbol& cls);

private:
    bool AddBase(GSClassSymbol& cls, GSClassSymbol& base, const char* baseName, int line);
    void Fail(GSClassSymbol& cls) noexcept;
    void Report(const GSClassSymbol& cls, int line, const char* format, const char* a, const char* b = nullptr);

    GSSymbolTable& symbols_;
};

}  // namespace GSCompiler
