// The engine's OS object: the application's name and the start-up line that
// the engine reads its options from. The tool runs without windows, so it
// needs no instance or window handle; the values given are kept as they are.
#pragma once

#include <string>
#include <string_view>

namespace Nyx {

class OS {
public:
    OS(std::string_view applicationName, std::string_view options, void* instance, void* window);
    OS(const OS&) = delete;
    OS& operator=(const OS&) = delete;
    ~OS();

    // Brings the OS layer up; true when it is ready (always, as nothing
    // here needs a display).
    bool Init();
    bool IsInitialised() const noexcept { return initialised_; }

    const std::string& GetApplicationName() const noexcept { return applicationName_; }
    // The start-up line, exactly as given.
    const std::string& GetOptions() const noexcept { return options_; }
    void* GetInstance() const noexcept { return instance_; }
    void* GetWindow() const noexcept { return window_; }

private:
    std::string applicationName_;
    std::string options_;
    void* instance_;
    void* window_;
    bool initialised_ = false;
};

}  // namespace Nyx
