// Identities of the containers and tags of a validation. Messages and
// registers refer to a container or a tag by a serial number that no other
// object of the process ever gets, so an entry left behind by a container
// that is gone can never be taken for a new one made at the same address.
#pragma once

#include <cstdint>

namespace TETLib {

// 0 stands for no container (or no tag).
enum class ContainerSerial : uint64_t { kNone = 0 };
enum class TagSerial : uint64_t { kNone = 0 };

// A number not handed out before in this process; never 0. Any thread.
uint64_t NextObjectSerial() noexcept;

}  // namespace TETLib
