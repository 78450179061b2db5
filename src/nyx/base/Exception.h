// The engine's exception: a message for whoever catches it.
#pragma once

#include <stdexcept>
#include <string>

namespace Nyx {

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace Nyx
