// A URL in fixed-size parts, its parser and its composer. The tool never
// fetches a URL itself: it composes the text and hands it to the daemon.
#pragma once

#include <cstdint>

#include "nyx/base/String.h"

struct URL {
    // Text parts are NUL-terminated; a longer part keeps its first
    // size - 1 characters.
    char scheme[32] = {};
    char user[64] = {};
    char password[64] = {};
    char host[128] = {};
    // 0 when the text gives none, or gives one that is no port at all
    // (above 65535).
    int32_t port = 0;
    char path[256] = {};
    // With its leading '?'.
    char query[512] = {};

    // Never fails: whatever the text is, it lands in some part.
    static URL Parse(const char* text);
    static Nyx::String Format(const URL& url);
};
