// Standard output sent to nowhere while one lives, for targets that run
// commands which print their results: the fuzzer's own output stays
// readable and the runs stay fast.
#pragma once

#include <unistd.h>

#include <cstdio>
#include <cstdlib>

class FuzzQuietOutput {
public:
    FuzzQuietOutput()
    {
        std::fflush(stdout);
        saved_ = ::dup(1);
        null_ = std::fopen("/dev/null", "w");
        if (saved_ < 0 || !null_ || ::dup2(::fileno(null_), 1) < 0)
            std::abort();
    }
    ~FuzzQuietOutput()
    {
        std::fflush(stdout);
        ::dup2(saved_, 1);
        ::close(saved_);
        std::fclose(null_);
    }
    FuzzQuietOutput(const FuzzQuietOutput&) = delete;
    FuzzQuietOutput& operator=(const FuzzQuietOutput&) = delete;

private:
    int saved_ = -1;
    std::FILE* null_ = nullptr;
};
