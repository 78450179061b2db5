// The fetch of the product's update page through the daemon. No command
// calls it; it blocks its caller while the daemon fetches.
#pragma once

#include <cstdint>
#include <functional>

class UpdatePageFetch {
public:
    // The page the fetch asks for.
    static constexpr const char* kUpdatePageURL = "http://127.0.0.1/kestro/update.html";
    static constexpr uint32_t kPollIntervalMs = 100;
    // A daemon that never finishes the fetch must not hold its caller for
    // ever.
    static constexpr double kGiveUpSeconds = 60.0;

    // Seconds on a steady clock, and a pause; tests replace both.
    struct Waiting {
        std::function<double()> now;
        std::function<void(uint32_t ms)> sleep;
    };

    // The target is told 1.0 once the page was fetched.
    explicit UpdatePageFetch(std::function<void(float)> notify, Waiting waiting = {});

    // True when the fetch ended in time (whatever its result); false when
    // it was given up. Either way the daemon's fetch is ended.
    bool CheckUpdatePage();

private:
    std::function<void(float)> notify_;
    Waiting waiting_;
};
