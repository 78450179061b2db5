// The validation library's error handler: the one object that collects the
// messages of a validation run.
#pragma once

#include <string>
#include <vector>

namespace TETLib {

class ErrorHandler {
public:
    // Makes the singleton; true.
    static bool Create();
    // Clears and deletes the singleton, when there is one.
    static void Destroy();
    // Null outside Create .. Destroy.
    static ErrorHandler* Instance();

    void ClearMessages() { messages_.clear(); }
    const std::vector<std::string>& Messages() const noexcept { return messages_; }

private:
    ErrorHandler() = default;
    std::vector<std::string> messages_;
};

}  // namespace TETLib
