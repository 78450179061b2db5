// The result of every mesh load: 0 for success, 1 to 9 for the named
// failures, each with a message.
#pragma once

#include <cstdint>

enum MeshLoadResult : uint32_t {
    RES_OK = 0,
    RES_UNKNOWN = 1,
    RES_FILE_OPEN_ERROR = 2,
    RES_FILE_FORMAT_ERROR = 3,
    RES_FILE_VERSION_ERROR = 4,
    RES_NO_MATERIAL_MANAGER = 5,
    RES_UNSUPPORTED_MATERIAL = 6,
    RES_UNKNOWN_MATERIAL = 7,
    RES_FAIL_CHUNK_CREATE = 8,
    RES_FILE_DATA_ERROR = 9,
};

inline constexpr uint32_t kMeshLoadResultCount = 10;

// The code's identifier ("RES_UNKNOWN" ...) and its message; "" for 0 and
// for codes past the table.
const char* MeshLoadResultName(uint32_t code) noexcept;
const char* MeshLoadResultMessage(uint32_t code) noexcept;
